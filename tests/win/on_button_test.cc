// OnButton may end the process, so each case runs in a child.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "win/process_runner.h"

namespace {

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
