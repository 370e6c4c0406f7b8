#include "Src/Httphelper/session_choice.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(SessionChoice, FirstActiveSessionInListOrder) {
  SessionEntry sessions[] = {{0, 4}, {3, 1}, {2, 0}, {1, 0}};
  EXPECT_EQ(ChooseSession(sessions, 4), 2u);
}

TEST(SessionChoice, SessionZeroWithoutAnActiveOne) {
  SessionEntry sessions[] = {{5, 1}, {6, 4}};
  EXPECT_EQ(ChooseSession(sessions, 2), 0u);
  EXPECT_EQ(ChooseSession(nullptr, 0), 0u);
}

}  // namespace
