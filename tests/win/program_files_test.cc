// The program files folder, the file test below it and the installed-agent
// check, with agent files made in the prefix's own program files folder.
#include "Src/VTDropper/program_files.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "Src/VTDropper/directory_chain.h"
#include "Src/VTDropper/installer_launch.h"
#include "Src/VTDropper/module_path.h"

using namespace bastion;

namespace {

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

}  // namespace
