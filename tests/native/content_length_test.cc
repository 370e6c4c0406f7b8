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

}  // namespace
