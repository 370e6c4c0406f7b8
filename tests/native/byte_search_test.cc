#include "Src/VTDropper/byte_search.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::optional<size_t> Find(const std::string& haystack, const std::string& needle) {
  return FindBytes(reinterpret_cast<const uint8_t*>(haystack.data()), haystack.size(),
                   reinterpret_cast<const uint8_t*>(needle.data()), needle.size());
}

TEST(ByteSearchTest, EmptyInputs) {
  EXPECT_EQ(Find("", ""), std::nullopt);
  EXPECT_EQ(Find("", "a"), std::nullopt);
  EXPECT_EQ(Find("abc", ""), 0u);
}

TEST(ByteSearchTest, NeedleLongerThanHaystack) { EXPECT_EQ(Find("abc", "abcd"), std::nullopt); }

TEST(ByteSearchTest, MatchPositions) {
  EXPECT_EQ(Find("abc", "abc"), 0u);
  EXPECT_EQ(Find("xxabc", "abc"), 2u);
  EXPECT_EQ(Find("abab_abc_abc", "abc"), 5u);  // first of two, after false starts
  EXPECT_EQ(Find(std::string("a\0b\0c", 5), std::string("\0c", 2)), 3u);
}

TEST(ByteSearchTest, PartialMatchAtTheEndIsNoMatch) {
  // Each heap buffer is exactly as long as its text, so a read past the end
  // is caught by AddressSanitizer.
  for (const char* text : {"xxab", "xxa", "abxab"}) {
    const std::string haystack(text);
    auto* copy = new uint8_t[haystack.size()];
    std::copy(haystack.begin(), haystack.end(), copy);
    EXPECT_EQ(FindBytes(copy, haystack.size(), reinterpret_cast<const uint8_t*>("abc"), 3),
              std::nullopt)
        << text;
    delete[] copy;
  }
}

}  // namespace
