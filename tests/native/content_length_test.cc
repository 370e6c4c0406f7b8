#include "Src/Httphelper/content_length.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(ContentLength, ReadsDecimalValues) {
  uint64_t v = 1;
  EXPECT_TRUE(ParseContentLength(L"0", v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(ParseContentLength(L" 104857600\t", v));
  EXPECT_EQ(v, 104857600u);
  EXPECT_TRUE(ParseContentLength(L"18446744073709551615", v));
  EXPECT_EQ(v, UINT64_MAX);
}

TEST(ContentLength, RejectsAnythingElseAndKeepsTheValue) {
  uint64_t v = 7;
  for (const wchar_t* text : {L"", L" ", L"-1", L"+1", L"1 2", L"12a", L"0x10", L"18446744073709551616",
                              L"99999999999999999999"})
    EXPECT_FALSE(ParseContentLength(text, v)) << text;
  EXPECT_FALSE(ParseContentLength(nullptr, v));
  EXPECT_EQ(v, 7u);
}

TEST(ContentRange, ReadsOnlyAWholeSatisfiedByteRange) {
  ContentRange range;
  EXPECT_TRUE(ParseContentRange(L"bytes 50-99/100", range));
  EXPECT_EQ(range, (ContentRange{50, 99, 100}));
  EXPECT_TRUE(ParseContentRange(L" bytes  0-0/1\t", range));
  EXPECT_EQ(range, (ContentRange{0, 0, 1}));
  const ContentRange kept = range;
  for (const wchar_t* text : {L"", L"bytes", L"bytes */100", L"bytes 0-99/*", L"bytes 50-99", L"items 0-9/10",
                              L"bytes=0-9/10", L"bytes 10-9/20", L"bytes 0-100/100", L"bytes -1-9/10",
                              L"bytes 0-9/10 x", L"bytes 0-9/18446744073709551616"})
    EXPECT_FALSE(ParseContentRange(text, range)) << text;
  EXPECT_FALSE(ParseContentRange(nullptr, range));
  EXPECT_EQ(range, kept);
}

TEST(ContentRange, TheValidatorIsAStrongETagElseLastModifiedAndNeverALine) {
  const wchar_t* date = L"Wed, 09 Dec 2026 00:28:00 GMT";
  EXPECT_EQ(ResumeValidator(L"\"abc\"", date), L"\"abc\"");
  EXPECT_EQ(ResumeValidator(L"W/\"abc\"", date), date);
  EXPECT_EQ(ResumeValidator(L"abc", date), date);
  EXPECT_EQ(ResumeValidator(nullptr, date), date);
  EXPECT_EQ(ResumeValidator(L"\"a\r\nX-Injected: 1\"", nullptr), L"");
  EXPECT_EQ(ResumeValidator(L"W/\"abc\"", L"Wed\r\nX: 1"), L"");
  EXPECT_EQ(ResumeValidator((L"\"" + std::wstring(300, L'a') + L"\"").c_str(), nullptr), L"");
  EXPECT_EQ(ResumeValidator(L"", L""), L"");
}

}  // namespace
