// The private staging folder. Wine does not enforce access lists and runs
// every process as the same user, so that a standard user is kept out can
// only be shown on Windows; here the folder's list is read back. Wine keeps
// file security as Unix mode bits and rebuilds the list from them, so what
// survives is checked: nobody but the owner and SYSTEM gets anything.
#include "Src/VTDropper/staging_folder.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

#include "win/file_helpers.h"

using namespace bastion;

namespace {

std::vector<std::wstring> GrantedSids(const std::wstring& folder, bool& protectedList) {
  std::vector<std::wstring> sids;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &sd) != ERROR_SUCCESS)
    return sids;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(sd, &control, &revision);
  protectedList = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        ace->Mask == 0)
      continue;
    wchar_t* sid = nullptr;
    ConvertSidToStringSidW(&ace->SidStart, &sid);
    sids.push_back(sid ? sid : L"");
    LocalFree(sid);
  }
  LocalFree(sd);
  return sids;
}

std::wstring CurrentUserSid() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size);
  CloseHandle(token);
  wchar_t* sid = nullptr;
  ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid);
  std::wstring text = sid ? sid : L"";
  LocalFree(sid);
  return text;
}

TEST(StagingFolderTest, PrivateFolderGrantsOnlyAdministratorsAndSystemAndIsNeverReused) {
  std::wstring folder = TestFolder(L"bastion-staging-") + L"private";
  ASSERT_EQ(CreatePrivateFolder(folder), 0u);
  bool protectedList = false;
  std::vector<std::wstring> granted = GrantedSids(folder, protectedList);
  EXPECT_FALSE(granted.empty());
  const std::wstring owner = CurrentUserSid();  // Wine's stand-in for Administrators
  for (const std::wstring& sid : granted)
    EXPECT_TRUE(sid == L"S-1-5-32-544" || sid == L"S-1-5-18" || sid == owner) << "also granted: " << sid;
  // An existing folder, planted or left over, is refused.
  EXPECT_EQ(CreatePrivateFolder(folder), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  RemoveDirectoryW(folder.c_str());
}

TEST(StagingFolderTest, ElevatedRunsStageInAFreshFolderUnderTheMachinesTemp) {
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring machineTemp = std::wstring(windows) + L"\\Temp\\";
  std::wstring kept, gone;
  {
    StagingFolder first(true);
    StagingFolder second(true);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    EXPECT_NE(first.folder(), second.folder());
    EXPECT_EQ(first.folder().substr(0, machineTemp.size()), machineTemp);
    EXPECT_EQ(first.folder().size(), machineTemp.size() + 36);
    EXPECT_TRUE(PathExists(first.folder()));
    gone = first.folder();
    kept = second.folder();
    ASSERT_TRUE(WriteFileBytes(kept + L"\\package", "installed"));
  }
  // An empty folder goes; one whose package stayed stays.
  EXPECT_FALSE(PathExists(gone));
  EXPECT_TRUE(PathExists(kept + L"\\package"));
  RemoveTree(kept + L"\\");
}

}  // namespace
