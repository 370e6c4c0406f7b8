// The product's entry, run as a child process.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "win/log_test_support.h"
#include "win/process_runner.h"

namespace {

// stderr is in the runtime's text mode, which writes each "\n" as CR LF.
constexpr char kUsage[] =
    "BastionSetup usage\r\n\r\n"
    "[BastionSetup.exe -v] to verify internal installation data\r\n"
    "[BastionSetup.exe /createmsi] to create msi for installation purposes\r\n\r\n";

TEST(EntryTest, UsageTextEndsWithCodeOne) {
  ProcessResult r = RunProcess(L"\"" + ProductPath() + L"\" /?");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(r.err, kUsage);
  EXPECT_EQ(r.out, "");
}

// A lookalike runs the installation, which the unconfigured product cannot
// authenticate.
TEST(EntryTest, UsageIsNotPrintedForLookalikes) {
  for (const wchar_t* arg : {L"/help", L"--v", L"/? extra"}) {
    ProcessResult r = RunProcess(L"\"" + ProductPath() + L"\" " + arg);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 1603u) << "argument " << arg;
    EXPECT_EQ(r.err, "Failed to authenticate BastionSetup!\r\n") << "argument " << arg;
  }
}

// The user's log, read whole.
std::string UserLog() {
  char local[MAX_PATH];
  if (GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH) == 0) return {};
  return ReadWholeFile(std::string(local) + "\\Veltrion\\BastionClientUI\\tiny.log");
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The filter only releases the trace provider and ends the process: no
// message, and the log ends with the run's start, without its last line.
TEST(EntryTest, AFaultCaughtByTheFilterEndsWith1603AndSaysNothing) {
  ProcessResult r = RunProcess(L"\"" + TestDirectory() + L"\\entry_probe.exe\" fault");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
  const std::string log = UserLog();
  EXPECT_TRUE(EndsWith(log, "] Starting [InstallationWrapper]\r\n")) << log.substr(log.size() - std::min<size_t>(log.size(), 200));
}

// The catch-all's message, its log line, then the run's last line.
TEST(EntryTest, AnExceptionInTheRunEndsWithTheCatchAll) {
  ProcessResult r = RunProcess(L"\"" + TestDirectory() + L"\\entry_probe.exe\" throw");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "Bastion Setup failed!\r\n");
  const std::string log = UserLog();
  const std::string failed = "[error] Bastion Setup failed! [InstallProcedure]\r\n";
  const size_t at = log.rfind(failed);
  ASSERT_NE(at, std::string::npos) << log.substr(log.size() - std::min<size_t>(log.size(), 200));
  const std::string last = log.substr(at + failed.size());
  EXPECT_NE(last.find("Run ended: exit code 1603, 0 download attempts, 0 body bytes received, "), std::string::npos)
      << last;
  EXPECT_EQ(last.find("\r\n"), last.size() - 2) << "one line follows: " << last;
}

}  // namespace
