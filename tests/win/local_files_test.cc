// Local files and settings on the real system: the folder chain, config.dat
// writing and the package move on real files; the program files folder, the
// file test below it and the installed-agent check, with agent files made in
// the prefix's own program files folder; the VPN value in HKLM (key creation,
// UTF-8 text, empty configurations); the window station question and the
// console release.
#include "Src/VTDropper/local_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Src/VTDropper/installer_launch.h"
#include "win/file_helpers.h"

using namespace bastion;

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

  // A new file only: an existing one is neither truncated nor written.
  WriteResult refused = WriteBytesToFile(path.c_str(), nullptr, 0, CREATE_NEW);
  EXPECT_EQ(refused.outcome.error(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadFileBytes(path), fresh);

  WriteResult empty = WriteBytesToFile(path.c_str(), nullptr, 0);
  EXPECT_TRUE(empty.outcome);
  empty.file.Close();
  EXPECT_EQ(ReadFileBytes(path), "");
}

// The package is held read-only and shared for reading only, as after its
// download; the copy is made through that handle.
HANDLE Hold(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::vector<std::wstring> Entries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

TEST_F(LocalFilesTest, CopyThroughTheHoldReplacesTheTarget) {
  std::wstring exe = base_ + L"exe\\";
  ASSERT_TRUE(CreateDirectoryChain(exe.c_str()));
  std::wstring source = base_ + L"download.tmp";
  ASSERT_TRUE(WriteText(source, "new package"));
  ASSERT_TRUE(WriteText(exe + L"BSX.msi", "old package from an earlier run, longer"));
  HANDLE held = Hold(source);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  char skip[4];
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(held, skip, sizeof(skip), &got, nullptr));  // the copy starts at the start anyway
  PackageMoveOutcome outcome = CopyPackageBeside(held, exe, L"BSX.msi");
  CloseHandle(held);
  EXPECT_TRUE(outcome.moved());
  EXPECT_EQ(ReadFileBytes(exe + L"BSX.msi"), "new package");
  EXPECT_EQ(Entries(exe), std::vector<std::wstring>{L"BSX.msi"});
  EXPECT_EQ(ReadFileBytes(source), "new package") << "releasing and deleting the source is the caller's";
}

TEST_F(LocalFilesTest, FailedRenameOverTheTargetLeavesNoCopy) {
  std::wstring source = base_ + L"download.tmp";
  ASSERT_TRUE(WriteText(source, "package"));
  ASSERT_TRUE(WriteText(base_ + L"BSX.msi", "in use"));
  // Another program has BSX.msi open without sharing deletion.
  HANDLE user = CreateFileW((base_ + L"BSX.msi").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(user, INVALID_HANDLE_VALUE);
  HANDLE held = Hold(source);
  PackageMoveOutcome outcome = CopyPackageBeside(held, base_, L"BSX.msi");
  CloseHandle(held);
  CloseHandle(user);
  EXPECT_FALSE(outcome.moved());
  EXPECT_FALSE(outcome.copyFailed);
  EXPECT_NE(outcome.error, 0u);
  EXPECT_EQ(ReadFileBytes(base_ + L"BSX.msi"), "in use");
  std::vector<std::wstring> left = Entries(base_);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::wstring>{L"BSX.msi", L"download.tmp"}));
}

TEST_F(LocalFilesTest, CopyIntoAMissingFolderFailsAsACopy) {
  std::wstring source = base_ + L"download.tmp";
  ASSERT_TRUE(WriteText(source, "package"));
  HANDLE held = Hold(source);
  PackageMoveOutcome outcome = CopyPackageBeside(held, base_ + L"missing\\", L"BSX.msi");
  CloseHandle(held);
  EXPECT_TRUE(outcome.copyFailed);
  EXPECT_EQ(outcome.error, static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
}

class AgentFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = ProgramFilesFolder() + L"\\";
    ASSERT_NE(root_, L"\\");
    Clean();
  }
  void TearDown() override { Clean(); }

  void Clean() {
    for (const wchar_t* path : kAgentPaths) {
      std::wstring file = root_ + path;
      DeleteFileW(file.c_str());
      RemoveDirectoryW(file.c_str());
      // Remove the folders this test made, innermost first.
      for (size_t slash = file.rfind(L'\\'); slash > root_.size(); slash = file.rfind(L'\\', slash - 1))
        RemoveDirectoryW(file.substr(0, slash).c_str());
    }
  }

  void MakeFile(const wchar_t* relative) {
    std::wstring path = root_ + relative;
    ASSERT_TRUE(CreateDirectoryChain(path.c_str()));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }

  void MakeFolder(const wchar_t* relative) {
    std::wstring path = root_ + relative + std::wstring(L"\\");
    ASSERT_TRUE(CreateDirectoryChain(path.c_str()));
  }

  std::wstring root_;
};

TEST(ProgramFilesTest, IsThe32BitProgramFilesFolder) {
  wchar_t expected[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, expected), S_OK);
  EXPECT_EQ(ProgramFilesFolder(), expected);
}

TEST(ProgramFilesTest, ModuleDirectoryEndsWithTheSeparatorBeforeTheFileName) {
  std::wstring path = ModulePath();
  std::wstring directory = ModuleDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory.back(), L'\\');
  EXPECT_EQ(path, directory + L"bastion_tests.exe");
}

TEST_F(AgentFiles, NoAgentFilesMeansNotInstalled) { EXPECT_FALSE(IsAgentInstalled()); }

TEST_F(AgentFiles, EitherPathAloneMeansInstalled) {
  MakeFile(kAgentPaths[1]);
  EXPECT_TRUE(IsAgentInstalled());
  Clean();
  MakeFile(kAgentPaths[0]);
  EXPECT_TRUE(IsAgentInstalled());
}

TEST_F(AgentFiles, FolderWithTheFileNameIsNoAgent) {
  MakeFolder(kAgentPaths[0]);
  MakeFolder(kAgentPaths[1]);
  EXPECT_FALSE(FileExistsInProgramFiles(kProgramFilesX86, kAgentPaths[0]));
  EXPECT_FALSE(IsAgentInstalled());
}

TEST_F(AgentFiles, OnlyTheProgramFilesSelectorIsKnown) {
  MakeFile(kAgentPaths[0]);
  EXPECT_TRUE(FileExistsInProgramFiles(kProgramFilesX86, kAgentPaths[0]));
  EXPECT_FALSE(FileExistsInProgramFiles(0, kAgentPaths[0]));
  EXPECT_FALSE(FileExistsInProgramFiles(2, kAgentPaths[0]));
}

constexpr wchar_t kKey[] = L"SOFTWARE\\Veltrion\\Bastion Security";

class MachineStringValueTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrion"); }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Veltrion"); }

  // The stored text; "<absent>" when missing.
  static std::wstring Read(DWORD* type = nullptr) {
    wchar_t data[512] = {};
    DWORD size = sizeof(data);
    DWORD valueType = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"VPNConfig", RRF_RT_ANY, &valueType, data, &size) != ERROR_SUCCESS)
      return L"<absent>";
    if (type) *type = valueType;
    return data;
  }
};

TEST_F(MachineStringValueTest, CreatesTheMissingKeyAndStoresAsciiUnchanged) {
  ASSERT_EQ(Read(), L"<absent>");
  EXPECT_EQ(SetMachineStringValue(kVpnKeyPath, kVpnValueName, "gateway=vpn.example;port=443"), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Read(&type), L"gateway=vpn.example;port=443");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  // The narrow view of an ASCII value is byte for byte the text given.
  char narrow[64] = {};
  DWORD size = sizeof(narrow);
  ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kVpnKeyPath, kVpnValueName, RRF_RT_REG_SZ, nullptr, narrow, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(narrow, "gateway=vpn.example;port=443");
}

TEST_F(MachineStringValueTest, NonAsciiTextReadsBackUnchanged) {
  // "Grüße – 東京" in UTF-8, as the configuration document carries it.
  const char utf8[] = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x93 \xE6\x9D\xB1\xE4\xBA\xAC";
  EXPECT_EQ(SetMachineStringValue(kVpnKeyPath, kVpnValueName, utf8), ERROR_SUCCESS);
  EXPECT_EQ(Read(), L"Gr\u00FC\u00DFe \u2013 \u6771\u4EAC");
}

TEST_F(MachineStringValueTest, TextThatIsNotUtf8IsRefusedAndNothingWritten) {
  EXPECT_EQ(SetMachineStringValue(kVpnKeyPath, kVpnValueName, "caf\xE9"),
            static_cast<LSTATUS>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(Read(), L"<absent>");
}

TEST_F(MachineStringValueTest, EmptyVpnConfigurationLeavesAnExistingValueAlone) {
  EXPECT_FALSE(StoreVpnConfiguration(""));
  EXPECT_EQ(Read(), L"<absent>");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

  EXPECT_TRUE(StoreVpnConfiguration("first"));
  EXPECT_FALSE(StoreVpnConfiguration(""));
  EXPECT_EQ(Read(), L"first");
  EXPECT_TRUE(StoreVpnConfiguration("second"));
  EXPECT_EQ(Read(), L"second");
}

// Wine sets WSF_VISIBLE on every window station, display or not.
TEST(WindowStationTest, WineAlwaysLooksInteractive) {
  EXPECT_TRUE(IsInteractiveWindowStation());
}

TEST(ConsoleReleaseTest, ReleasesOnlyAConsoleOfItsOwn) {
  FreeConsole();
  // No console: nothing to release.
  EXPECT_FALSE(ReleaseConsoleIfOwnedAlone());
  if (!AllocConsole()) GTEST_SKIP() << "no console can be made here";
  // A console made for this process alone goes.
  EXPECT_TRUE(ReleaseConsoleIfOwnedAlone());
  DWORD processes[2] = {};
  EXPECT_EQ(GetConsoleProcessList(processes, 2), 0u);
}

}  // namespace
