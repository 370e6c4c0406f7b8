#include "Src/Httphelper/logged_on_user_impersonation.h"

#include <gtest/gtest.h>

#include "win/trace_recorder.h"

using namespace bastion;

namespace {

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
  std::vector<ImpersonationTrace> messages = recorder.Named<ImpersonationTrace>();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages[0], ImpersonationTrace::kSessionLibraryLoaded);
  EXPECT_EQ(messages[1], ImpersonationTrace::kEnumeratingSessions);
  EXPECT_EQ(messages[2], ImpersonationTrace::kSessionChosen);
  if (messages.size() == 4) {
    EXPECT_TRUE(messages[3] >= ImpersonationTrace::kUserTokenNotObtained &&
                messages[3] <= ImpersonationTrace::kImpersonating)
        << messages[3];
  }
}

}  // namespace
