#include "Src/VTDropper/byte_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace bastion;

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

// The block scan and the byte-wise tail must agree with a plain search at
// every alignment, needle length and haystack length around a block.
TEST(ByteSearchTest, AgreesWithAPlainSearch) {
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    const size_t length = random() % 80;
    const size_t needleLength = 1 + random() % 20;
    // A two-letter alphabet makes partial matches frequent.
    std::string haystack(length, 'a'), needle(needleLength, 'a');
    for (auto& c : haystack) c = "ab"[random() % 2];
    for (auto& c : needle) c = "ab"[random() % 8 == 0];
    const size_t expected = haystack.find(needle);
    auto* copy = new uint8_t[length == 0 ? 1 : length];
    std::copy(haystack.begin(), haystack.end(), copy);
    const auto found = FindBytes(copy, length, reinterpret_cast<const uint8_t*>(needle.data()),
                                 needleLength);
    delete[] copy;
    if (expected == std::string::npos || length == 0) {
      EXPECT_EQ(found, std::nullopt) << haystack << " / " << needle;
    } else {
      EXPECT_EQ(found, expected) << haystack << " / " << needle;
    }
  }
}

}  // namespace
