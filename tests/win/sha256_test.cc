#include "Src/Httphelper/sha256.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

std::string Hex(const Sha256Digest& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (BYTE b : digest) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

TEST(Sha256Test, KnownDigestsWhateverTheChunking) {
  Sha256Digest digest;
  Sha256 empty;
  ASSERT_TRUE(empty.Finish(digest));
  EXPECT_EQ(Hex(digest), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  Sha256 pieces;
  ASSERT_TRUE(pieces.Update("a", 1));
  ASSERT_TRUE(pieces.Update("", 0));
  ASSERT_TRUE(pieces.Update("bc", 2));
  ASSERT_TRUE(pieces.Finish(digest));
  EXPECT_EQ(Hex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
