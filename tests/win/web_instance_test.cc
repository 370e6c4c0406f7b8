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

// OnButton returns: its requests are read back from the events it was handed.
class OnButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    SetRetryEvent(retry_);
    SetAbortEvent(abort_);
  }
  void TearDown() override {
    SetRetryEvent(nullptr);
    SetAbortEvent(nullptr);
    CloseHandle(retry_);
    CloseHandle(abort_);
  }
  static void Press(const wchar_t* text) {
    BSTR button = SysAllocString(text);
    OnButton(button);
    SysFreeString(button);
  }
  static bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

  HANDLE retry_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE abort_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

TEST_F(OnButtonTest, AbortAndCloseAskTheRunToEndWithTheirCodes) {
  const struct {
    const wchar_t* text;
    unsigned code;
  } kPresses[] = {
      {L"\r\n          CLOSE\r\n        ", 2},
      {L"ABORT", 1},
      {L"Abort pressed", 1},
      {L"CLOSE ABORT", 1},
  };
  for (const auto& press : kPresses) {
    ResetEvent(abort_);
    SetAbortEvent(abort_);  // forgets the press before
    Press(press.text);
    EXPECT_TRUE(IsSet(abort_)) << press.code;
    EXPECT_EQ(RequestedExitCode(), press.code);
    EXPECT_FALSE(IsSet(retry_));
  }
}

TEST_F(OnButtonTest, TheFirstPressDecidesTheCode) {
  Press(L"CLOSE");
  Press(L"ABORT");
  EXPECT_EQ(RequestedExitCode(), 2u);
  EXPECT_TRUE(IsSet(abort_));
}

TEST_F(OnButtonTest, RetrySetsOnlyTheRetryEventAndLowerCaseNothing) {
  Press(L"retry");
  EXPECT_FALSE(IsSet(retry_));
  Press(L"RETRY");
  EXPECT_TRUE(IsSet(retry_));
  EXPECT_FALSE(IsSet(abort_));
  EXPECT_EQ(RequestedExitCode(), 0u);
}

}  // namespace
