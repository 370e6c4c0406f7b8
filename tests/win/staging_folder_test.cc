// The private staging folder. Wine does not enforce access lists and runs
// every process as the same user, so that a standard user is kept out can
// only be shown on Windows; here the folder's list is read back. Wine keeps
// file security as Unix mode bits and rebuilds the list from them, so what
// survives is checked: nobody but the owner and SYSTEM gets anything.
#include "Src/VTDropper/staging_folder.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <algorithm>
#include <string>

#include "win/file_helpers.h"

using namespace bastion;

namespace {

std::vector<std::wstring> GrantedSids(const std::wstring& folder) {
  std::vector<std::wstring> sids;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &sd) != ERROR_SUCCESS)
    return sids;
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
  ASSERT_EQ(CreatePrivateFolder(folder, Staging::kPrivateForAdministrators), 0u);
  // Wine reads the list back unprotected, with the owner (the user) in
  // place of Administrators; the list as built is checked below.
  std::vector<std::wstring> granted = GrantedSids(folder);
  std::sort(granted.begin(), granted.end());
  std::vector<std::wstring> expected = {L"S-1-5-18", CurrentUserSid()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(granted, expected);
  // An existing folder, planted or left over, is refused.
  EXPECT_EQ(CreatePrivateFolder(folder, Staging::kPrivateForAdministrators), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  RemoveDirectoryW(folder.c_str());
}

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  ConvertSidToStringSidW(sid, &text);
  std::wstring result = text ? text : L"";
  LocalFree(text);
  return result;
}

// Wine reads the owner back as the user and drops the protection, so the
// descriptors are checked as built, before any creation.
TEST(StagingFolderTest, PrivateDescriptorsNameTheirOwnerAndGrantOnlyAdministratorsAndSystem) {
  const struct {
    Staging staging;
    PrivateSecurity::Object object;
    const wchar_t* owner;
    BYTE inheritance;
  } cases[] = {
      {Staging::kPrivateForAdministrators, PrivateSecurity::Object::kFolder, L"S-1-5-32-544",
       OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE},
      {Staging::kPrivateForAdministrators, PrivateSecurity::Object::kFile, L"S-1-5-32-544", 0},
      {Staging::kPrivateForLocalSystem, PrivateSecurity::Object::kFile, L"S-1-5-18", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.owner);
    PrivateSecurity security(c.staging, c.object);
    ASSERT_EQ(security.error(), 0u);
    PSECURITY_DESCRIPTOR sd = security.attributes()->lpSecurityDescriptor;
    PSID owner = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd, &owner, &defaulted));
    EXPECT_EQ(SidText(owner), c.owner);
    EXPECT_FALSE(defaulted);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    BOOL present = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    std::vector<std::wstring> granted;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      ACCESS_ALLOWED_ACE* ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
      EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      EXPECT_EQ(ace->Header.AceFlags, c.inheritance);
      granted.push_back(SidText(&ace->SidStart));
    }
    EXPECT_EQ(granted, (std::vector<std::wstring>{L"S-1-5-32-544", L"S-1-5-18"}));
  }
}

TEST(StagingFolderTest, ElevatedRunsStageInAFreshFolderUnderTheMachinesTemp) {
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring machineTemp = std::wstring(windows) + L"\\Temp\\";
  std::wstring kept, gone;
  {
    StagingFolder first(Staging::kPrivateForAdministrators);
    StagingFolder second(Staging::kPrivateForAdministrators);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    EXPECT_NE(first.folder(), second.folder());
    EXPECT_EQ(first.folder().substr(0, machineTemp.size()), machineTemp);
    EXPECT_EQ(first.folder().size(), machineTemp.size() + 36);
    EXPECT_TRUE(PathExists(first.folder()));
    // Files there skip the digest only because this run made the folder.
    EXPECT_NE(first.place().privateFiles, nullptr);
    EXPECT_EQ(StagingFolder(Staging::kUserTemp).place().privateFiles, nullptr);
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
