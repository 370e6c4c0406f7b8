// UTF-8 to wide text, in both of its treatments of bytes that are not UTF-8,
// and back.
#include "platform/text.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(Utf8ToWideTest, ConvertsAndKeepsEmbeddedText) {
  for (InvalidUtf8 invalid : {InvalidUtf8::kReplace, InvalidUtf8::kRefuse}) {
    EXPECT_EQ(Utf8ToWide("Server: Z\xC3\xBCrich \xE2\x98\x83", invalid), L"Server: Z\u00FCrich \u2603");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x94\x92", invalid), L"\U0001F512");  // a surrogate pair
    EXPECT_EQ(Utf8ToWide("", invalid), L"");
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3), invalid), std::wstring(L"a\0b", 3));
  }
}

TEST(Utf8ToWideTest, InvalidBytesAreReplacedOrRefusedAsAsked) {
  EXPECT_EQ(Utf8ToWide("a\xFF", InvalidUtf8::kReplace), L"a\uFFFD");
  EXPECT_EQ(Utf8ToWide("a\xFF", InvalidUtf8::kRefuse), std::nullopt);
}

TEST(WideToUtf8Test, ConvertsWholeText) {
  EXPECT_EQ(WideToUtf8(L"Z\u00FCrich \U0001F512"), "Z\xC3\xBCrich \xF0\x9F\x94\x92");
  EXPECT_EQ(WideToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(WideToUtf8(L""), "");
}

}  // namespace
