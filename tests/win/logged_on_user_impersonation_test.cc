#include "Src/Httphelper/logged_on_user_impersonation.h"

#include <gtest/gtest.h>

#include "win/trace_recorder.h"

using namespace bastion;

namespace {

// {81C058A3-29C4-36FC-FE7C-2D1744F52835}
constexpr GUID kImpersonationGuid = {0x81C058A3, 0x29C4, 0x36FC, {0xFE, 0x7C, 0x2D, 0x17, 0x44, 0xF5, 0x28, 0x35}};

bool ThreadHasToken() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  CloseHandle(token);
  return true;
}

// Under Wine the session list is empty (so session 0 is chosen) and
// WTSQueryUserToken hands out the current user's token to anyone; on Windows
// an ordinary account stops at trace 14 instead. Either way the thread is
// back in its own context afterwards.
TEST(LoggedOnUserImpersonation, ActsAsTheSessionUserAndRevertsAtTheEnd) {
  TraceRecorder recorder;
  ASSERT_FALSE(ThreadHasToken());
  {
    LoggedOnUserImpersonation impersonation;
    EXPECT_EQ(ThreadHasToken(), impersonation.impersonating());
  }
  EXPECT_FALSE(ThreadHasToken());
  std::vector<USHORT> numbers = recorder.Numbers(kImpersonationGuid);
  ASSERT_GE(numbers.size(), 3u);
  EXPECT_EQ(numbers[0], 10);
  EXPECT_EQ(numbers[1], 11);
  EXPECT_EQ(numbers[2], 13);
  if (numbers.size() == 4) {
    EXPECT_TRUE(numbers[3] == 14 || numbers[3] == 15 || numbers[3] == 16 || numbers[3] == 17) << numbers[3];
  }
}

}  // namespace
