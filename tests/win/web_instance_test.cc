#include "ui/web_instance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "win/page_log_recorder.h"
#include "win/process_runner.h"

using namespace bastion;

namespace {

// Runs the probe with no handles inherited (see the probe) and returns its
// report, or "" when it did not finish.
std::string RunProbe(const wchar_t* environment) {
  std::wstring report = TestDirectory() + L"\\web_window_probe_report.txt";
  DeleteFileW(report.c_str());
  std::wstring commandLine =
      L"\"" + TestDirectory() + L"\\web_window_probe.exe\" \"" + report + L"\" close";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, const_cast<wchar_t*>(environment), nullptr,
                      &startup, &process)) {
    return "";
  }
  bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::string text;
  if (FILE* file = _wfopen(report.c_str(), L"r")) {
    char buffer[256];
    while (fgets(buffer, sizeof(buffer), file) != nullptr) text += buffer;
    fclose(file);
  }
  return ended ? text : "";
}

// Wine gives a child a display whenever its desktop process has one, even
// with DISPLAY removed from the child's environment; so this case relies on
// the whole run having none, as `make test` arranges for every test not
// labelled "display".
TEST(WebInstance, WithoutADisplayCreationReturnsPromptlyWithoutAWindow) {
  if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) != 0) {
    GTEST_SKIP() << "needs a run without DISPLAY";
  }
  std::string out = RunProbe(nullptr);
  // No window: RunCommand delivers nothing, the record says it is gone,
  // and closing it does nothing.
  EXPECT_THAT(out, testing::HasSubstr("window=0 run=1"));
  EXPECT_THAT(out, testing::HasSubstr("gone=1"));
  EXPECT_THAT(out, testing::HasSubstr("closed run=1 gone=1"));
  // "Promptly": without the 1,000 ms pause a window would cost. The figure
  // is printed, not asserted.
  std::printf("%s", out.c_str());
}

TEST(WebInstance, ARecordWithoutAWindowIsHarmless) {
  WebInstance record;
  TakePageLog();
  SetPageLog(&record, RecordPageLog);
  CloseWebInstance(&record);
  CloseWebInstance(nullptr);
  EXPECT_TRUE(TakePageLog().empty());
  EXPECT_EQ(WebInstanceWindow(&record), nullptr);
  EXPECT_EQ(WebInstanceWindow(nullptr), nullptr);
  EXPECT_EQ(WebInstanceGoneEvent(nullptr), nullptr);
  EXPECT_NE(WebInstanceGoneEvent(&record), nullptr);
}

// OnButton may end the process, so each case runs in a child.
ProcessResult Press(const wchar_t* name) {
  return RunProcess(L"\"" + TestDirectory() + L"\\on_button_probe.exe\" " + name);
}

TEST(OnButton, CloseEndsTheProcessWithTwo) {
  ProcessResult result = Press(L"close");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 2u);
  EXPECT_EQ(result.out, "");
}

TEST(OnButton, AbortAndTheAbortButtonEndWithOne) {
  for (const wchar_t* name : {L"abort", L"abort-button", L"abort-and-close"}) {
    ProcessResult result = Press(name);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 1u) << name;
    EXPECT_EQ(result.out, "") << name;
  }
}

TEST(OnButton, RetrySetsTheEventAndReturns) {
  ProcessResult result = Press(L"retry");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_THAT(result.out, testing::StartsWith("returned retry=1"));
}

TEST(OnButton, LowerCaseRetryDoesNothing) {
  ProcessResult result = Press(L"retry-lower");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_THAT(result.out, testing::StartsWith("returned retry=0"));
}

}  // namespace
