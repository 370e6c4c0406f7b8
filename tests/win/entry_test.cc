// The product's entry, run as a child process.
#include <gtest/gtest.h>

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

TEST(EntryTest, UsageIsNotPrintedForLookalikes) {
  for (const wchar_t* arg : {L"/help", L"--v", L"/? extra"}) {
    ProcessResult r = RunProcess(L"\"" + ProductPath() + L"\" " + arg);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.err.find("BastionSetup usage"), std::string::npos) << "argument " << arg;
  }
}

}  // namespace
