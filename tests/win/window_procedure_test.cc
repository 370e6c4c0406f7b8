#include "ui/window_procedure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "win/process_runner.h"

using namespace bastion;

namespace {

class PageResourceTest : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(ProductPath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { FreeLibrary(module_); }
  HMODULE module_ = nullptr;
};

TEST_F(PageResourceTest, IsATerminatedUtf16TextWithCrLfLines) {
  HRSRC found = FindResourceExW(module_, MAKEINTRESOURCEW(23), MAKEINTRESOURCEW(101), 1033);
  ASSERT_NE(found, nullptr);
  DWORD size = SizeofResource(module_, found);
  const wchar_t* page = LoadProgressPage(module_);
  ASSERT_NE(page, nullptr);
  std::wstring text(page);
  // Exactly one NUL, at the end.
  EXPECT_EQ((text.size() + 1) * sizeof(wchar_t), size);
  EXPECT_NE(text[0], L'\xFEFF');
  EXPECT_EQ(text.rfind(L"<!DOCTYPE html>\r\n", 0), 0u);
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] == L'\n') {
      ASSERT_TRUE(k > 0 && text[k - 1] == L'\r') << k;
    }
    if (text[k] == L'\r') {
      ASSERT_TRUE(k + 1 < text.size() && text[k + 1] == L'\n') << k;
    }
  }
  EXPECT_THAT(text, testing::HasSubstr(L"content=\"ie=9\""));
  EXPECT_THAT(text, testing::HasSubstr(L"<title>Tiny UI</title>"));
  // The close button's text, which the page sends and OnButton matches.
  EXPECT_THAT(text, testing::HasSubstr(L"\">\r\n          CLOSE\r\n        </div>"));
}

TEST_F(PageResourceTest, OnlyLanguage1033Exists) {
  EXPECT_EQ(FindResourceExW(module_, MAKEINTRESOURCEW(23), MAKEINTRESOURCEW(101), 1031), nullptr);
}

}  // namespace
