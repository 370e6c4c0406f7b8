// The product's entry, run as a child process.
#include <gtest/gtest.h>

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

// The filter only releases the trace provider and ends the process: no
// message, no further log line.
TEST(EntryTest, AFaultCaughtByTheFilterEndsWith1603AndSaysNothing) {
  ProcessResult r = RunProcess(L"\"" + TestDirectory() + L"\\entry_probe.exe\" fault");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
}

TEST(EntryTest, AnExceptionInTheRunEndsWithTheCatchAll) {
  ProcessResult r = RunProcess(L"\"" + TestDirectory() + L"\\entry_probe.exe\" throw");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "Bastion Setup failed!\r\n");
  char local[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH), 0u);
  const std::string log = ReadWholeFile(std::string(local) + "\\Veltrion\\BastionClientUI\\tiny.log");
  const std::string last = "[error] Bastion Setup failed! [InstallProcedure]\r\n";
  ASSERT_GE(log.size(), last.size());
  EXPECT_EQ(log.substr(log.size() - last.size()), last);
}

}  // namespace
