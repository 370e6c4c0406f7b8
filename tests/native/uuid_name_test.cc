#include "Src/Httphelper/uuid_name.h"

#include <gtest/gtest.h>

#include <string>

using namespace bastion;

namespace {

TEST(UuidName, FieldsInOrderLowerCaseWithHyphens) {
  wchar_t out[kUuidNameLength + 1];
  FormatUuidName({0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}}, out);
  EXPECT_EQ(std::wstring(out), L"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");
}

TEST(UuidName, LeadingZerosAndExtremesKeepTheWidth) {
  wchar_t out[kUuidNameLength + 1];
  FormatUuidName({0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}, out);
  EXPECT_EQ(std::wstring(out), L"00000000-0000-0000-0000-000000000000");
  FormatUuidName({0xFFFFFFFF, 0xFFFF, 0xFFFF, {255, 255, 255, 255, 255, 255, 255, 255}}, out);
  EXPECT_EQ(std::wstring(out), L"ffffffff-ffff-ffff-ffff-ffffffffffff");
  EXPECT_EQ(std::wstring(out).size(), 36u);
}

}  // namespace
