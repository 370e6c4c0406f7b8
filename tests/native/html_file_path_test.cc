#include "ui/html_file_path.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

using namespace bastion;

namespace {

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
