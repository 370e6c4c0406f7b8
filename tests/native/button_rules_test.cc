#include "ui/button_rules.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(ButtonRules, PageTextsMapToTheirActions) {
  EXPECT_EQ(ClassifyButtonText(u"\r\n          CLOSE\r\n        "), ButtonAction::kExitClose);
  EXPECT_EQ(ClassifyButtonText(u"RETRY"), ButtonAction::kRetry);
  EXPECT_EQ(ClassifyButtonText(u"ABORT"), ButtonAction::kExitAbort);
  EXPECT_EQ(ClassifyButtonText(u"Abort pressed"), ButtonAction::kExitAbort);
}

TEST(ButtonRules, MatchingIsCaseSensitiveAndOrdered) {
  EXPECT_EQ(ClassifyButtonText(u"retry"), ButtonAction::kNone);
  EXPECT_EQ(ClassifyButtonText(u"close"), ButtonAction::kNone);
  EXPECT_EQ(ClassifyButtonText(u"Abort"), ButtonAction::kNone);
  EXPECT_EQ(ClassifyButtonText(u"abort pressed"), ButtonAction::kNone);
  EXPECT_EQ(ClassifyButtonText(u"Abort pressed!"), ButtonAction::kNone);
  EXPECT_EQ(ClassifyButtonText(u""), ButtonAction::kNone);
  EXPECT_EQ(ClassifyButtonText(u"CLOSE then ABORT"), ButtonAction::kExitAbort);
  EXPECT_EQ(ClassifyButtonText(u"RETRY or CLOSE"), ButtonAction::kExitClose);
  EXPECT_EQ(ClassifyButtonText(u"xxRETRYxx"), ButtonAction::kRetry);
  EXPECT_EQ(ClassifyButtonText(std::u16string_view(u"CLO\0SE", 6)), ButtonAction::kNone);
}

}  // namespace
