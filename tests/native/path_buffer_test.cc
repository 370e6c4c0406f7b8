#include "platform/path_buffer.h"

#include <gtest/gtest.h>

#include <string>

using namespace bastion;

namespace {

TEST(PathBufferTest, HoldsAtMost259CharactersAndKeepsTextOnOverflow) {
  PathBuffer path;
  std::wstring part(250, L'a');
  ASSERT_TRUE(path.Append(part.c_str()));
  EXPECT_TRUE(path.Append(L"123456789"));  // exactly 259
  EXPECT_EQ(path.size(), 259u);
  EXPECT_FALSE(path.Append(L"x"));
  EXPECT_EQ(std::wstring(path.c_str()), part + L"123456789");
  EXPECT_TRUE(path.Append(L""));
}

TEST(PathBufferTest, AppendOfACountedPrefixStopsThere) {
  PathBuffer path;
  ASSERT_TRUE(path.Append(L"C:\\one\\two", 7));
  EXPECT_EQ(std::wstring(path.c_str()), L"C:\\one\\");
  PathBuffer full;
  ASSERT_TRUE(full.Append(std::wstring(200, L'b').c_str()));
  EXPECT_FALSE(full.Append(std::wstring(60, L'c').c_str(), 60));
  EXPECT_EQ(full.size(), 200u);
}

}  // namespace
