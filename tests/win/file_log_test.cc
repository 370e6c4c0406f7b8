#include "diagnostics/file_log.h"

#include <accctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <regex>
#include <thread>

#include <spdlog/sinks/wincolor_sink.h>

#include "platform/object_security.h"
#include "platform/text.h"
#include "win/log_test_support.h"
#include "win/trace_recorder.h"

using namespace bastion;

namespace {

std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t end; (end = content.find("\r\n", from)) != std::string::npos; from = end + 2)
    lines.push_back(content.substr(from, end - from));
  return lines;
}

// Each test sets the log up afresh and gives the process its console logger
// back afterwards, as if the set-up had never run.
class FileLogTest : public ::testing::Test {
 protected:
  void SetUp() override { console_ = spdlog::default_logger(); }
  // Before scratch_ goes: the log's file must be closed to be removed.
  void TearDown() override { Release(); }
  void Release() {
    spdlog::drop("root");
    spdlog::set_default_logger(console_);
  }

  std::shared_ptr<spdlog::logger> console_;
  ScratchFolder scratch_{std::string("bastion_file_log_") +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name()};
};

// The local clock to the second, as the log's stamp writes it.
std::string LocalClock() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[32];
  snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute, now.wSecond);
  return text;
}

std::string ThreadField() {
  std::string id = std::to_string(GetCurrentThreadId());
  return "t:" + id + std::string(id.size() < 5 ? 5 - id.size() : 0, ' ');
}

TEST_F(FileLogTest, LinesFollowThePatternAndAreFlushedAtOnce) {
  std::string path = scratch_ / "Veltrion\\BastionClientUI\\tiny.log";
  SetUpFileLogAt(scratch_.path(), kLogMaxSize);
  ASSERT_NE(spdlog::get("root"), nullptr);
  ASSERT_EQ(spdlog::default_logger()->name(), "root");

  const std::string before = LocalClock();
  BASTION_LOG(spdlog::level::info, "InstallationWrapper", "Starting");
  const std::string after = LocalClock();
  // Flushed before the call returned: another reader sees the line at once.
  EXPECT_EQ(Lines(ReadWholeFile(path)).size(), 1u);
  BASTION_LOG(spdlog::level::warn, "InstallProcedure", "careful {}", 7);
  EXPECT_EQ(Lines(ReadWholeFile(path)).size(), 2u);
  BASTION_LOG(spdlog::level::trace, "InstallProcedure", "never written");
  EXPECT_EQ(Lines(ReadWholeFile(path)).size(), 2u);
  BASTION_LOG(spdlog::level::debug, "InstallProcedure", "debug {}", 4294967295u);
  BASTION_LOG(spdlog::level::err, "InstallProcedure", "error");
  BASTION_LOG(spdlog::level::critical, "HTTPHelper::DownloadFile",
              "HTTPHelper DownloadFile cannot create: {}", WideToUtf8(L"C:\\Temp\\\u00e9\u4e2d.tmp"));

  std::string content = ReadWholeFile(path);
  EXPECT_EQ(content.find("never written"), std::string::npos);
  EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
  EXPECT_EQ(content.find('\n', 0) - 1, content.find("\r\n")) << "every line ends in CR LF";

  std::vector<std::string> lines = Lines(content);
  ASSERT_EQ(lines.size(), 5u);
  const std::regex stamp(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.\d{3} )");
  const char* expected[] = {
      "root       [info ] Starting [InstallationWrapper]",
      "root       [warni] careful 7 [InstallProcedure]",
      "root       [debug] debug 4294967295 [InstallProcedure]",
      "root       [error] error [InstallProcedure]",
      "root       [criti] HTTPHelper DownloadFile cannot create: C:\\Temp\\\xc3\xa9\xe4\xb8\xad.tmp "
      "[HTTPHelper::DownloadFile]",
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_search(lines[i], match, stamp)) << lines[i];
    EXPECT_EQ(match.position(0), 0) << lines[i];
    EXPECT_EQ(lines[i].substr(match.length(0)), ThreadField() + " " + expected[i]);
    // Local time, not UTC (Wine's zone may equal UTC; the stamp still has
    // to lie between the local clock's readings around the call).
    if (i == 0) {
      EXPECT_LE(before, match.str(1)) << lines[i];
      EXPECT_LE(match.str(1), after) << lines[i];
    }
  }
}

TEST_F(FileLogTest, ThreadsInterleaveOnlyWholeLines) {
  std::string path = scratch_ / kLogRelativePath;
  SetUpFileLogAt(scratch_.path(), kLogMaxSize);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i)
        BASTION_LOG(spdlog::level::info, "InstallProcedure", "thread {} record {} {}", t, i,
                    std::string(40, 'a' + t));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> lines = Lines(ReadWholeFile(path));
  ASSERT_EQ(lines.size(), 800u);
  const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} t:\d+ * root       \[info \] thread (\d) record \d+ ([a-d])\2{39} \[InstallProcedure\])");
  for (const std::string& text : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, line)) << text;
    EXPECT_EQ(match[2].str()[0], 'a' + std::stoi(match[1]));
  }
}

TEST_F(FileLogTest, SecondRunAppends) {
  std::string path = scratch_ / kLogRelativePath;
  SetUpFileLogAt(scratch_.path(), kLogMaxSize);
  BASTION_LOG(spdlog::level::info, "InstallationWrapper", "first run");
  Release();
  SetUpFileLogAt(scratch_.path(), kLogMaxSize);
  ASSERT_EQ(spdlog::default_logger()->name(), "root");
  BASTION_LOG(spdlog::level::info, "InstallationWrapper", "second run");
  std::vector<std::string> lines = Lines(ReadWholeFile(path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("first run"), std::string::npos);
  EXPECT_NE(lines[1].find("second run"), std::string::npos);
}

// The log path names an existing folder: the file cannot be opened after the
// retries, the set-up's error is dropped and the console logger stays.
TEST_F(FileLogTest, FailedSetUpKeepsTheConsoleLogger) {
  for (const char* folder : {"Veltrion", "Veltrion\\BastionClientUI", kLogRelativePath})
    ASSERT_TRUE(CreateDirectoryA((scratch_ / folder).c_str(), nullptr)) << folder;
  spdlog::logger* before = spdlog::default_logger_raw();
  EXPECT_NO_THROW(SetUpFileLogAt(scratch_.path(), kLogMaxSize));
  EXPECT_EQ(spdlog::default_logger_raw(), before);
  EXPECT_EQ(spdlog::default_logger()->name(), "");
  ASSERT_EQ(spdlog::default_logger()->sinks().size(), 1u);
  EXPECT_NE(dynamic_cast<spdlog::sinks::wincolor_stdout_sink_mt*>(
                spdlog::default_logger()->sinks()[0].get()),
            nullptr);
  EXPECT_EQ(spdlog::get("root"), nullptr);
  EXPECT_NO_THROW(BASTION_LOG(spdlog::level::info, "InstallationWrapper", "Starting"));
}

TEST(RotatingLogSinkTest, UnopenableFileRaisesTheLibraryError) {
  ScratchFolder scratch("bastion_file_log_sink_fail");
  CreateDirectoryA((scratch / "tiny.log").c_str(), nullptr);
  try {
    RotatingLogSink sink(scratch.path(), "tiny.log", 100, 5);
    ADD_FAILURE() << "no error raised";
  } catch (const spdlog::spdlog_ex& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Failed opening file " + (scratch / "tiny.log") +
                                                  " for writing",
                                              0),
              0u)
        << error.what();
  }
}

// Rotation at a small size keeps five older files. The test's security
// source hands out the log's inheritable descriptor, as a LocalSystem run
// would, and counts how often the sink's file layer asked for it.
int g_securityRequests = 0;
SECURITY_ATTRIBUTES g_inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
const SECURITY_ATTRIBUTES* InheritableForTest() {
  ++g_securityRequests;
  return &g_inheritable;
}

bool HeldWithReadAccess(const std::string& path) {
  HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  return probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

TEST(RotatingLogSinkTest, RotationKeepsFiveFilesAndReopensThroughOurOpener) {
  ScratchFolder scratch("bastion_file_log_rotation");
  g_inheritable.lpSecurityDescriptor = BuildAccessDescriptor(SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  g_securityRequests = 0;
  std::string base = scratch / "tiny.log";
  {
    auto sink =
        std::make_shared<RotatingLogSink>(scratch.path(), "tiny.log", 300, 5, InheritableForTest);
    spdlog::logger logger("root", sink);
    logger.set_pattern("%v");
    logger.set_level(spdlog::level::debug);
    logger.flush_on(spdlog::level::debug);
    EXPECT_EQ(g_securityRequests, 1);
    // 100 bytes a record (98 + CR LF): three fit in 300 bytes.
    for (int i = 0; i < 20; ++i) {
      char text[99];
      snprintf(text, sizeof(text), "%02d%096d", i, 0);
      logger.info("{}", text);
      if (i == 3) {
        EXPECT_EQ(g_securityRequests, 2) << "the first rotation opened a fresh file";
        // Held with read and write access: only our CreateFileA opener asks
        // for both, the runtime's "ab" opens for writing only.
        EXPECT_TRUE(HeldWithReadAccess(base));
      }
    }
    EXPECT_EQ(g_securityRequests, 7) << "one opening per rotation";
  }
  FreeAccessDescriptor(g_inheritable.lpSecurityDescriptor);
  g_inheritable.lpSecurityDescriptor = nullptr;

  std::vector<std::string> names = FolderEntries(scratch.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, std::vector<std::string>({"tiny.1.log", "tiny.2.log", "tiny.3.log", "tiny.4.log",
                                             "tiny.5.log", "tiny.log"}));
  auto firstRecord = [&](const std::string& name) {
    std::vector<std::string> lines = Lines(ReadWholeFile(scratch / name));
    return lines.empty() ? -1 : std::stoi(lines[0].substr(0, 2));
  };
  EXPECT_EQ(Lines(ReadWholeFile(base)).size(), 2u);
  EXPECT_EQ(firstRecord("tiny.log"), 18);
  EXPECT_EQ(firstRecord("tiny.1.log"), 15);
  EXPECT_EQ(firstRecord("tiny.5.log"), 3);
  EXPECT_EQ(Lines(ReadWholeFile(scratch / "tiny.5.log")).size(), 3u);
}

TEST(RotatingLogSinkTest, ExistingFileCountsTowardsTheLimitAndIsNotRotatedOnOpen) {
  ScratchFolder scratch("bastion_file_log_existing");
  std::string base = scratch / "tiny.log";
  FILE* seed = fopen(base.c_str(), "wb");
  ASSERT_NE(seed, nullptr);
  fputs(std::string(250, 'o').c_str(), seed);
  fclose(seed);
  {
    auto sink = std::make_shared<RotatingLogSink>(scratch.path(), "tiny.log", 300, 5,
                                                  LogSecurityAttributes);
    EXPECT_EQ(FolderEntries(scratch.path()).size(), 1u) << "no rotation on open";
    spdlog::logger logger("root", sink);
    logger.set_pattern("%v");
    logger.info("{}", std::string(58, 'n'));  // 60 bytes: 310 > 300
  }
  EXPECT_EQ(ReadWholeFile(scratch / "tiny.1.log"), std::string(250, 'o'));
  EXPECT_EQ(ReadWholeFile(base), std::string(58, 'n') + "\r\n");
}

// A failed query leaves no folder to log below: not even the root of the
// current drive, where a standard user may create the log's folders.
TEST(LogPathTest, FailedFolderQueryIsTracedAndLeavesNoFolder) {
  TraceRecorder recorder;
  EXPECT_EQ(LogAnchor(S_OK, "C:\\users\\root\\AppData\\Local"),
            "C:\\users\\root\\AppData\\Local");
  EXPECT_TRUE(recorder.records().empty());
  EXPECT_EQ(LogAnchor(E_INVALIDARG, "C:\\left"), "");
  ASSERT_EQ(recorder.records().size(), 1u);
  EXPECT_EQ(recorder.Named<ProcedureTrace>(), std::vector{ProcedureTrace::kAppDataFolderNotFound});
  const TraceRecord& record = recorder.records()[0];
  EXPECT_EQ(record.flag, static_cast<ULONG>(trace::kLogSetup));
  EXPECT_EQ(record.Value(0), static_cast<ULONG>(E_INVALIDARG));
}

}  // namespace
