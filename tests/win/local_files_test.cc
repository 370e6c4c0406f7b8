// The folder chain, config.dat writing and the package move on real files.
#include <gtest/gtest.h>

#include <string>

#include "Src/VTDropper/directory_chain.h"
#include "Src/VTDropper/package_move.h"
#include "Src/VTDropper/write_bytes.h"
#include "win/file_helpers.h"

namespace {

bool WriteText(const std::wstring& path, const std::string& text) {
  WriteResult result =
      WriteBytesToFile(path.c_str(), reinterpret_cast<const unsigned char*>(text.data()), text.size());
  return static_cast<bool>(result.outcome);
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class LocalFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = TestFolder(L"bastion-files-"); }
  void TearDown() override { RemoveTree(base_); }

  std::wstring ProductFolder() const { return base_ + L"Veltrion\\Bastion Security Agent\\Bastion Common\\bin\\"; }

  std::wstring base_;
};

TEST_F(LocalFilesTest, ChainCreatesEveryFolderAndAcceptsExistingOnes) {
  ASSERT_TRUE(CreateDirectoryChain((ProductFolder() + L"config.dat").c_str()));
  EXPECT_TRUE(IsFolder(ProductFolder()));
  // The text after the last backslash is a file name, not a folder.
  EXPECT_FALSE(IsFolder(ProductFolder() + L"config.dat"));
  EXPECT_TRUE(CreateDirectoryChain(ProductFolder().c_str()));
  // The drive root and the system's own folders pass as well.
  EXPECT_TRUE(CreateDirectoryChain(L"C:\\"));
}

TEST_F(LocalFilesTest, ChainFailsOnAnInvalidOrOverlongFolderWithTheReason) {
  Win32Result result = CreateDirectoryChain((base_ + L"bad|name\\x\\").c_str());
  EXPECT_FALSE(result);
  EXPECT_EQ(result.error(), static_cast<unsigned long>(ERROR_INVALID_NAME));
  std::wstring deep = base_;
  while (deep.size() < 300) deep += L"abcdefghij\\";
  result = CreateDirectoryChain(deep.c_str());
  EXPECT_FALSE(result);
  EXPECT_EQ(result.error(), static_cast<unsigned long>(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(LocalFilesTest, PlainFileNamedLikeTheLastFolderPassesTheChainButFailsTheWrite) {
  ASSERT_TRUE(CreateDirectoryChain((base_ + L"Veltrion\\Bastion Security Agent\\Bastion Common\\").c_str()));
  ASSERT_TRUE(WriteText(base_ + L"Veltrion\\Bastion Security Agent\\Bastion Common\\bin", "in the way"));
  EXPECT_TRUE(CreateDirectoryChain(ProductFolder().c_str()));
  WriteResult result = WriteBytesToFile((ProductFolder() + L"config.dat").c_str(),
                                        reinterpret_cast<const unsigned char*>("x"), 1);
  EXPECT_FALSE(result.outcome);
  EXPECT_NE(result.outcome.error(), 0u);
  EXPECT_FALSE(result.file.IsValid());
}

TEST_F(LocalFilesTest, PlainFileNamedLikeAnInnerFolderFailsTheChain) {
  // The folder below the file cannot be made: the path is not found.
  ASSERT_TRUE(CreateDirectoryChain((base_ + L"Veltrion\\Bastion Security Agent\\").c_str()));
  ASSERT_TRUE(WriteText(base_ + L"Veltrion\\Bastion Security Agent\\Bastion Common", "in the way"));
  EXPECT_FALSE(CreateDirectoryChain(ProductFolder().c_str()));
}

TEST_F(LocalFilesTest, WriteReplacesAnExistingFileAndKeepsItOpenForTheCaller) {
  ASSERT_TRUE(CreateDirectoryChain(ProductFolder().c_str()));
  std::wstring path = ProductFolder() + L"config.dat";
  ASSERT_TRUE(WriteText(path, "<?xml version=\"1.0\"?><AG_CONFIG>a much longer old text</AG_CONFIG>"));
  const std::string fresh("<?xml version=\"1.0\"?><AG_CONFIG>\xC3\xA9\0</AG_CONFIG>", 48);
  {
    WriteResult result =
        WriteBytesToFile(path.c_str(), reinterpret_cast<const unsigned char*>(fresh.data()), fresh.size());
    ASSERT_TRUE(result.outcome);
    ASSERT_TRUE(result.file.IsValid());
    // Readers may look while it is open; another writer may not.
    EXPECT_EQ(ReadFileBytes(path), fresh);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  }
  EXPECT_EQ(ReadFileBytes(path), fresh);

  WriteResult empty = WriteBytesToFile(path.c_str(), nullptr, 0);
  EXPECT_TRUE(empty.outcome);
  empty.file.Close();
  EXPECT_EQ(ReadFileBytes(path), "");
}

TEST_F(LocalFilesTest, MoveReplacesTheTargetOnOneVolume) {
  ASSERT_TRUE(CreateDirectoryChain((base_ + L"exe\\").c_str()));
  std::wstring source = base_ + L"download.tmp";
  std::wstring target = base_ + L"exe\\BSX.msi";
  ASSERT_TRUE(WriteText(source, "new package"));
  ASSERT_TRUE(WriteText(target, "old package from an earlier run"));
  PackageMoveOutcome outcome = MovePackage(source.c_str(), target.c_str());
  EXPECT_TRUE(outcome.moved());
  EXPECT_FALSE(outcome.copyTried);
  EXPECT_EQ(ReadFileBytes(target), "new package");
  EXPECT_EQ(ReadFileBytes(source), "<missing>");
}

TEST_F(LocalFilesTest, MoveToAnotherVolumeFallsBackToACopy) {
  // Z:\dev\shm is a tmpfs, the temporary folder lies on the disk.
  std::wstring other = L"Z:\\dev\\shm\\bastion-files-move\\";
  RemoveTree(other);
  ASSERT_TRUE(CreateDirectoryChain(other.c_str()));
  ASSERT_TRUE(CreateDirectoryChain(base_.c_str()));
  std::wstring source = base_ + L"download.tmp";
  std::wstring target = other + L"BSX.msi";
  ASSERT_TRUE(WriteText(source, "package bytes"));
  PackageMoveOutcome outcome = MovePackage(source.c_str(), target.c_str());
  EXPECT_TRUE(outcome.moved());
  EXPECT_TRUE(outcome.copyTried);
  EXPECT_EQ(ReadFileBytes(target), "package bytes");
  EXPECT_EQ(ReadFileBytes(source), "<missing>");
  RemoveTree(other);
}

TEST_F(LocalFilesTest, MoveOfAMissingPackageReportsTheFirstError) {
  ASSERT_TRUE(CreateDirectoryChain(base_.c_str()));
  PackageMoveOutcome outcome = MovePackage((base_ + L"none.tmp").c_str(), (base_ + L"BSX.msi").c_str());
  EXPECT_EQ(outcome.error, static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(outcome.copyTried);
}

}  // namespace
