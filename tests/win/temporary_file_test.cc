#include "Src/Httphelper/temporary_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[32768];
    DWORD n = GetEnvironmentVariableW(name, old, 32768);
    had_ = n > 0 && n < 32768;
    if (had_) old_ = old;
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

bool IsNameShape(const std::wstring& name) {
  if (name.size() != 36) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    wchar_t c = name[i];
    bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}

LONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(TemporaryFile, CreatesFreshEmptyFilesThatOutliveTheObject) {
  wchar_t expected[MAX_PATH];
  ASSERT_NE(ExpandEnvironmentStringsW(L"%temp%", expected, MAX_PATH), 0u);
  std::wstring first, second;
  {
    TemporaryFile a(L"%temp%");
    TemporaryFile b(L"%temp%");
    EXPECT_EQ(a.folder(), expected);
    EXPECT_FALSE(a.created());
    a.Create();
    b.Create();
    ASSERT_TRUE(a.created());
    ASSERT_TRUE(b.created());
    EXPECT_EQ(a.lastError(), 0u);
    EXPECT_TRUE(IsNameShape(a.name())) << a.name();
    EXPECT_TRUE(IsNameShape(b.name())) << b.name();
    EXPECT_NE(a.name(), b.name());
    EXPECT_EQ(a.path(), a.folder() + L"\\" + a.name());
    first = a.path();
    second = b.path();
    // Held open without sharing until the object goes.
    HANDLE h = CreateFileW(first.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  EXPECT_EQ(FileSize(first), 0);
  EXPECT_EQ(FileSize(second), 0);
  DeleteFileW(first.c_str());
  DeleteFileW(second.c_str());
}

TEST(TemporaryFile, UndefinedTempStaysLiteralAndCreationFailsWithThePathError) {
  ScopedVariable temp(L"TEMP", nullptr);
  TemporaryFile file(L"%temp%");
  EXPECT_EQ(file.folder(), L"%temp%");
  file.Create();
  EXPECT_FALSE(file.created());
  EXPECT_EQ(file.lastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // The path is still filled in; callers use it only when created.
  EXPECT_EQ(file.path(), L"%temp%\\" + file.name());
}

TEST(TemporaryFile, TempTooLongForAPathFallsBackInsteadOfTruncating) {
  std::wstring longFolder = L"C:\\" + std::wstring(300, L'x');
  ScopedVariable temp(L"TEMP", longFolder.c_str());
  EXPECT_EQ(TemporaryFile(L"%temp%").folder(), L"C:\\Windows\\Temp");
  // 259 characters still fit the buffer with its terminator.
  std::wstring fitting = L"C:\\" + std::wstring(256, L'y');
  ScopedVariable temp2(L"TEMP", fitting.c_str());
  EXPECT_EQ(TemporaryFile(L"%temp%").folder(), fitting);
}

TEST(TemporaryFile, MissingFolderReportsTheSystemError) {
  TemporaryFile file(L"C:\\no-such-folder-for-bastion-tests");
  file.Create();
  EXPECT_FALSE(file.created());
  EXPECT_EQ(file.lastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
