#include "ui/window_rules.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

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

// Which key messages reach the page: an allow-list, everything else dropped.
TEST(KeyRules, OnlyTheListedKeysPass) {
  constexpr KeyModifiers kNone{};
  constexpr KeyModifiers kShift{true, false, false};
  constexpr KeyModifiers kCtrl{false, true, false};
  constexpr KeyModifiers kAlt{false, false, true};
  constexpr KeyModifiers kCtrlAlt{false, true, true};
  const struct {
    const char* name;
    unsigned message;
    unsigned key;
    KeyModifiers modifiers;
    bool passes;
  } kCases[] = {
      {"Tab", keys::kKeyDown, keys::kTab, kNone, true},
      {"Shift+Tab", keys::kKeyDown, keys::kTab, kShift, true},
      {"Enter", keys::kKeyDown, keys::kReturn, kNone, true},
      {"Space", keys::kKeyDown, keys::kSpace, kNone, true},
      {"Left", keys::kKeyDown, keys::kLeft, kNone, true},
      {"Alt+F4", keys::kSysKeyDown, keys::kF4, kAlt, true},
      {"Alt+F4 released", keys::kSysKeyUp, keys::kF4, kAlt, true},
      {"Enter's character", keys::kChar, keys::kReturn, kNone, true},
      {"Ctrl+Tab", keys::kKeyDown, keys::kTab, kCtrl, false},
      {"Ctrl+Alt+F4", keys::kSysKeyDown, keys::kF4, kCtrlAlt, false},
      {"F4", keys::kKeyDown, keys::kF4, kNone, false},
      {"Alt alone", keys::kSysKeyDown, 0x12, kAlt, false},
      {"Shift+Enter", keys::kKeyDown, keys::kReturn, kShift, false},
      {"Ctrl+O", keys::kKeyDown, 'O', kCtrl, false},
      {"a letter", keys::kKeyDown, 'A', kNone, false},
      {"F1", keys::kKeyDown, keys::kF1, kNone, false},
      {"Shift+F10", keys::kSysKeyDown, keys::kF1 + 9, kShift, false},
      {"F24", keys::kKeyDown, keys::kF24, kNone, false},
      {"application key", keys::kKeyDown, keys::kApps, kNone, false},
      {"Browser Back", keys::kKeyDown, keys::kBrowserBack, kNone, false},
      {"Launch Mail", keys::kKeyDown, keys::kLaunchMail, kNone, false},
      {"a letter's character", keys::kChar, 'a', kNone, false},
      {"a system character", keys::kSysKeyDown + 2, 'f', kAlt, false},
      {"a dead key", keys::kChar + 1, '^', kNone, false},
      {"WM_UNICHAR", keys::kLastKeyMessage, 'x', kNone, false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(KeyMessagePasses(c.message, c.key, c.modifiers), c.passes) << c.name;
  }
  // Not key messages: the mouse, painting, the procedure's own message.
  for (unsigned message : {0x0200u, 0x0201u, 0x000Fu, 0x0400u, keys::kFirstKeyMessage - 1,
                           keys::kLastKeyMessage + 1}) {
    EXPECT_TRUE(KeyMessagePasses(message, keys::kF1, kCtrl)) << message;
  }
}

TEST(DragGeometry, InitialOriginUsesTheExtentsNotTheSize) {
  DragPoint origin = InitialWindowOrigin(1920, 1080, 500, 500);
  EXPECT_EQ(origin.x, 710);
  EXPECT_EQ(origin.y, 290);
  // Each halving truncates toward zero, also for odd and negative values.
  origin = InitialWindowOrigin(1025, 769, 501, 499);
  EXPECT_EQ(origin.x, 512 - 250);
  EXPECT_EQ(origin.y, 384 - 249);
  origin = InitialWindowOrigin(300, 200, 801, 601);
  EXPECT_EQ(origin.x, 150 - 400);
  EXPECT_EQ(origin.y, 100 - 300);
  origin = InitialWindowOrigin(-3, -3, 0, 0);
  EXPECT_EQ(origin.x, -1);
}

TEST(DragGeometry, OnlyPressesStrictlyInsideStartADrag) {
  const DragRect window{710, 290, 1310, 600};
  EXPECT_TRUE(IsStrictlyInside(window, {711, 291}));
  EXPECT_TRUE(IsStrictlyInside(window, {1309, 599}));
  EXPECT_FALSE(IsStrictlyInside(window, {710, 400}));
  EXPECT_FALSE(IsStrictlyInside(window, {1310, 400}));
  EXPECT_FALSE(IsStrictlyInside(window, {800, 290}));
  EXPECT_FALSE(IsStrictlyInside(window, {800, 600}));
  EXPECT_FALSE(IsStrictlyInside(window, {0, 0}));
  EXPECT_FALSE(IsStrictlyInside(window, {2000, 400}));
}

TEST(DragGeometry, TheCursorKeepsItsOffsetDuringADrag) {
  const DragRect window{710, 290, 1310, 600};
  DragPoint offset = DragOffset(window, {760, 300});
  EXPECT_EQ(offset.x, 50);
  EXPECT_EQ(offset.y, 10);
  DragPoint moved = DraggedOrigin({100, 50}, offset);
  EXPECT_EQ(moved.x, 50);
  EXPECT_EQ(moved.y, 40);
  // The window may go partly off the desktop.
  moved = DraggedOrigin({10, 5}, offset);
  EXPECT_EQ(moved.x, -40);
  EXPECT_EQ(moved.y, -5);
}

bool Check(const std::u16string& text) { return IsHtmlFilePathText(text.c_str()); }

TEST(HtmlFilePath, AcceptsPathsToHtmlFiles) {
  EXPECT_TRUE(Check(u"C:\\pages\\progress.html"));
  EXPECT_TRUE(Check(u"C:/pages/progress.html"));
  EXPECT_TRUE(Check(u"c:\\PAGES\\Progress.HTML"));
  EXPECT_TRUE(Check(u"C:\\pages\\progressXhtml"));
  EXPECT_TRUE(Check(u"C:\\pages\\progress/html"));
  EXPECT_TRUE(Check(u"C:\\progress.html"));
  EXPECT_TRUE(Check(u"C:\\a\\b/c\\d.html"));
  // Unanchored: text around the path does not matter.
  EXPECT_TRUE(Check(u"see D:\\x\\y.htmlz and more"));
}

TEST(HtmlFilePath, RejectsOtherTexts) {
  EXPECT_FALSE(Check(u"C:\\my pages\\progress.html"));
  EXPECT_FALSE(Check(u"C:\\pages.old\\progress.html"));
  EXPECT_FALSE(Check(u"\\pages\\progress.html"));
  EXPECT_FALSE(Check(u"pages\\progress.html"));
  EXPECT_FALSE(Check(u"C:\\pages\\progress.htm"));
  EXPECT_FALSE(Check(u"C:\\pages\\.html"));
  EXPECT_FALSE(Check(u"C:\\pages\\progress\n html"));
  EXPECT_FALSE(Check(u"C:\\pages\\progress\nhtml"));
  EXPECT_FALSE(Check(u""));
  EXPECT_FALSE(IsHtmlFilePathText(static_cast<const char16_t*>(nullptr)));
  EXPECT_FALSE(Check(u"<html><body>C:</body></html>"));
}

TEST(HtmlFilePath, LengthLimitIs260Units) {
  std::u16string path = u"C:\\progress.html";
  std::u16string padded = path + std::u16string(kMaxHtmlPathUnits - 1 - path.size(), u' ');
  ASSERT_EQ(padded.size(), kMaxHtmlPathUnits - 1);
  EXPECT_TRUE(Check(padded));
  EXPECT_FALSE(Check(padded + u" "));
  EXPECT_FALSE(Check(padded + std::u16string(1000, u' ')));
}

// The hand-written matcher must agree with the regular expression it stands
// for; random texts over the characters that matter probe the backtracking.
TEST(HtmlFilePath, AgreesWithTheEcmaScriptPattern) {
  const std::regex pattern("[a-zA-Z]:[\\\\/](?:[a-zA-Z0-9]+[\\\\/])*([a-zA-Z0-9]+.html)",
                           std::regex::ECMAScript | std::regex::icase);
  const std::string alphabet = "Cc:\\/a9.hHtTmMlL \n_";
  std::mt19937 random(12345);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<size_t> size(0, 24);
  const char* seeds[] = {"C:\\", "c:/a/", "C:\\ab.", "html", ".html", "C:\\a\\"};
  for (int round = 0; round < 200000; ++round) {
    std::string text;
    size_t n = size(random);
    for (size_t k = 0; k < n; ++k) {
      if (random() % 6 == 0) {
        text += seeds[random() % 6];
      } else {
        text += alphabet[pick(random)];
      }
    }
    if (text.size() >= kMaxHtmlPathUnits) continue;
    ASSERT_EQ(IsHtmlFilePathText(text.c_str()), std::regex_search(text, pattern)) << text;
  }
}

}  // namespace
