#include "Src/Httphelper/temporary_file.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/object_security.h"

using namespace bastion;

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

bool CanOpen(const std::wstring& path, DWORD access) {
  HANDLE h = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::string ReadThrough(HANDLE file) {
  std::string bytes;
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

TEST(TemporaryFile, FreshFilesGoWithTheObjectUnlessHeld) {
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
    ASSERT_TRUE(a.Write("partial", 7));
    // While written, others may read but not write, rename or delete it.
    EXPECT_EQ(FileSize(first), 7);
    EXPECT_TRUE(CanOpen(first, GENERIC_READ));
    EXPECT_FALSE(CanOpen(first, GENERIC_WRITE));
    EXPECT_FALSE(CanOpen(first, DELETE));
    EXPECT_FALSE(MoveFileExW(first.c_str(), (first + L".moved").c_str(), 0));
  }
  // A failed or cut download leaves nothing behind.
  EXPECT_EQ(FileSize(first), -1);
  EXPECT_EQ(FileSize(second), -1);
}

TEST(TemporaryFile, HoldIsReadOnlyAndSharedForReadingOnly) {
  HeldPackage package;
  {
    TemporaryFile file(L"%temp%");
    file.Create();
    ASSERT_TRUE(file.Write("package ", 8));
    ASSERT_TRUE(file.Write("bytes", 5));
    ASSERT_TRUE(file.Hold(package));
    EXPECT_EQ(package.path, file.path());
  }
  // The file outlives the object; the hold reads it from the start.
  EXPECT_EQ(ReadThrough(package.handle.Get()), "package bytes");
  EXPECT_TRUE(CanOpen(package.path, GENERIC_READ));
  HANDLE denyWrite = CreateFileW(package.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
  EXPECT_NE(denyWrite, INVALID_HANDLE_VALUE) << "a reader that denies writing must get in";
  if (denyWrite != INVALID_HANDLE_VALUE) CloseHandle(denyWrite);
  EXPECT_FALSE(CanOpen(package.path, GENERIC_WRITE));
  EXPECT_FALSE(MoveFileExW(package.path.c_str(), (package.path + L".moved").c_str(), 0));
  EXPECT_FALSE(DeleteFileW(package.path.c_str()));
  std::wstring path = package.path;
  package.Discard();
  EXPECT_EQ(FileSize(path), -1);
}

// Wine renames a file through a handle opened without DELETE access, which
// Windows refuses, and its ReOpenFile reopens by the original name: there a
// file put in the package's place would be what the hold gets. The check of
// identity and content must catch it. On Windows the rename fails and the
// hold is the written file.
TEST(TemporaryFile, AFileSwappedInBeforeTheHoldIsNeverHeld) {
  TemporaryFile file(L"%temp%");
  file.Create();
  ASSERT_TRUE(file.Write("genuine", 7));
  const std::wstring moved = file.path() + L".moved";
  HANDLE reader = CreateFileW(file.path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::vector<BYTE> rename(sizeof(FILE_RENAME_INFO) + moved.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(rename.data());
  info->FileNameLength = static_cast<DWORD>(moved.size() * sizeof(wchar_t));
  memcpy(info->FileName, moved.c_str(), info->FileNameLength + sizeof(wchar_t));
  const bool renamed =
      SetFileInformationByHandle(reader, FileRenameInfo, info, static_cast<DWORD>(rename.size())) != FALSE;
  CloseHandle(reader);
  HeldPackage package;
  if (!renamed) {
    ASSERT_TRUE(file.Hold(package));
    EXPECT_EQ(ReadThrough(package.handle.Get()), "genuine");
    package.Discard();
    return;
  }
  // The same bytes under the old name: only the identity tells them apart.
  HANDLE other = CreateFileW(file.path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  WriteFile(other, "genuine", 7, &done, nullptr);
  CloseHandle(other);
  EXPECT_FALSE(file.Hold(package));
  EXPECT_EQ(file.lastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
  EXPECT_FALSE(package.handle.IsValid());
  EXPECT_EQ(FileSize(file.path()), -1) << "the swapped-in file is deleted";
  DeleteFileW(moved.c_str());
}

TEST(TemporaryFile, CheckRefusesOtherContentAndOtherFiles) {
  HeldPackage package;
  TemporaryFile file(L"%temp%");
  file.Create();
  ASSERT_TRUE(file.Write("abc", 3));
  ASSERT_TRUE(file.Hold(package));
  BY_HANDLE_FILE_INFORMATION info;
  ASSERT_TRUE(GetFileInformationByHandle(package.handle.Get(), &info));
  const FileIdentity identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  Sha256Digest digest;
  Sha256 abc;
  ASSERT_TRUE(abc.Update("abc", 3));
  ASSERT_TRUE(abc.Finish(digest));
  EXPECT_EQ(CheckHeldFile(package.handle.Get(), package.path, identity, &digest), 0u);
  Sha256Digest other = digest;
  other[31] ^= 1;
  EXPECT_EQ(CheckHeldFile(package.handle.Get(), package.path, identity, &other), static_cast<DWORD>(ERROR_FILE_INVALID));
  FileIdentity elsewhere = identity;
  elsewhere.indexLow ^= 1;
  EXPECT_EQ(CheckHeldFile(package.handle.Get(), package.path, elsewhere, &digest), static_cast<DWORD>(ERROR_FILE_INVALID));
  // Without a digest (a private folder's file) the identity alone decides.
  EXPECT_EQ(CheckHeldFile(package.handle.Get(), package.path, identity, nullptr), 0u);
  EXPECT_EQ(CheckHeldFile(package.handle.Get(), package.path, elsewhere, nullptr), static_cast<DWORD>(ERROR_FILE_INVALID));
  // The installer opens it by name: a name that leads elsewhere, or nowhere,
  // fails the check.
  TemporaryFile another(L"%temp%");
  another.Create();
  ASSERT_TRUE(another.created());
  EXPECT_EQ(CheckHeldFile(package.handle.Get(), another.path(), identity, &digest),
            static_cast<DWORD>(ERROR_FILE_INVALID));
  EXPECT_EQ(CheckHeldFile(package.handle.Get(), package.path + L".gone", identity, &digest),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  package.Discard();
}

BOOL WINAPI FailingWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

// A cut download's file is kept and written on; a restarted one is emptied
// and hashed afresh; a file whose write failed takes nothing more.
TEST(TemporaryFile, TruncatedFilesStartAfreshAndAFailedWriteEndsTheFile) {
  for (SECURITY_ATTRIBUTES* privateFiles : {static_cast<SECURITY_ATTRIBUTES*>(nullptr), GetObjectSecurity()}) {
    TemporaryFile file(StagingPlace{L"%temp%", privateFiles});
    file.Create();
    ASSERT_TRUE(file.Write("stale", 5));
    EXPECT_EQ(file.size(), 5u);
    ASSERT_TRUE(file.Truncate());
    EXPECT_EQ(file.size(), 0u);
    ASSERT_TRUE(file.Write("ab", 2));
    ASSERT_TRUE(file.Write("c", 1));
    EXPECT_EQ(file.size(), 3u);
    HeldPackage package;
    ASSERT_TRUE(file.Hold(package));
    EXPECT_EQ(ReadThrough(package.handle.Get()), "abc");
    package.Discard();
  }
  TemporaryFile failing(StagingPlace{L"%temp%", nullptr, FailingWrite});
  failing.Create();
  EXPECT_FALSE(failing.Write("x", 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_TRUE(failing.writeFailed());
  EXPECT_FALSE(failing.Truncate());
  HeldPackage none;
  EXPECT_FALSE(failing.Hold(none));
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

  // On its own thread, through a queue smaller than what passes through it.
  std::vector<BYTE> bytes(3 * BackgroundSha256::kQueuedBytes + 5);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i * 7 + 3);
  Sha256 direct;
  ASSERT_TRUE(direct.Update(bytes.data(), static_cast<DWORD>(bytes.size())));
  Sha256Digest expected;
  ASSERT_TRUE(direct.Finish(expected));
  BackgroundSha256 background;
  for (size_t at = 0; at < bytes.size(); at += 16384)
    ASSERT_TRUE(background.Update(bytes.data() + at, static_cast<DWORD>(std::min<size_t>(16384, bytes.size() - at))));
  ASSERT_TRUE(background.Finish(digest));
  EXPECT_EQ(digest, expected);
  EXPECT_FALSE(background.Update("x", 1)) << "a finished hash takes no more bytes";
}

}  // namespace
