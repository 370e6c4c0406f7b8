#include "platform/object_security.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

#include "win/process_runner.h"

using namespace bastion;

namespace {

struct Ace {
  ACCESS_MASK mask;
  BYTE flags;
  std::wstring sid;
};

std::vector<Ace> ReadDacl(HANDLE file) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  std::vector<Ace> aces;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                      nullptr, &sd) != ERROR_SUCCESS)
    return aces;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
    wchar_t* sid = nullptr;
    ConvertSidToStringSidW(&ace->SidStart, &sid);
    aces.push_back({ace->Mask, ace->Header.AceFlags, sid ? sid : L""});
    LocalFree(sid);
  }
  LocalFree(sd);
  return aces;
}

std::wstring TempPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

std::vector<Ace> DescriptorEntries(PSECURITY_DESCRIPTOR sd) {
  std::vector<Ace> aces;
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present || defaulted) return aces;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
    wchar_t* sid = nullptr;
    ConvertSidToStringSidW(&ace->SidStart, &sid);
    aces.push_back({ace->Mask, ace->Header.AceFlags, sid ? sid : L""});
    LocalFree(sid);
  }
  return aces;
}

TEST(ObjectSecurityTest, RecordCarriesExactlyTheTwoEntries) {
  SECURITY_ATTRIBUTES* security = GetObjectSecurity();
  ASSERT_NE(security, nullptr);
  EXPECT_EQ(security->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_FALSE(security->bInheritHandle);
  EXPECT_EQ(GetSecurityDescriptorLength(security->lpSecurityDescriptor) > 0, true);

  std::vector<Ace> aces = DescriptorEntries(security->lpSecurityDescriptor);
  ASSERT_EQ(aces.size(), 2u);
  EXPECT_EQ(aces[0].sid, L"S-1-1-0");
  EXPECT_EQ(aces[0].mask, static_cast<ACCESS_MASK>(GENERIC_READ));
  EXPECT_EQ(aces[0].flags, 0) << "no inheritance";
  EXPECT_EQ(aces[1].sid, L"S-1-5-32-544");
  EXPECT_EQ(aces[1].mask, static_cast<ACCESS_MASK>(GENERIC_ALL));
  EXPECT_EQ(aces[1].flags, 0);
}

// On Windows the new file's list is exactly the two entries. Wine keeps file
// security as Unix mode bits and reports a list rebuilt from them (owner and
// SYSTEM with full access, Everyone as the "other" bits), so here we check
// what survives that mapping: Everyone may read and may not write.
TEST(ObjectSecurityTest, NewFileGivesEveryoneReadOnly) {
  std::wstring path = TempPath(L"bastion_object_security.bin");
  DeleteFileW(path.c_str());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | READ_CONTROL, 0, GetObjectSecurity(),
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<Ace> aces = ReadDacl(file);
  CloseHandle(file);
  DeleteFileW(path.c_str());

  bool everyoneSeen = false;
  for (const Ace& ace : aces) {
    if (ace.sid != L"S-1-1-0") continue;
    everyoneSeen = true;
    EXPECT_EQ(ace.mask & FILE_READ_DATA, static_cast<ACCESS_MASK>(FILE_READ_DATA));
    EXPECT_EQ(ace.mask & (FILE_WRITE_DATA | FILE_APPEND_DATA), 0u);
  }
  EXPECT_TRUE(everyoneSeen);
}

TEST(ObjectSecurityTest, ExistingFileKeepsItsOwnSecurity) {
  std::wstring path = TempPath(L"bastion_object_security_existing.bin");
  DeleteFileW(path.c_str());
  HANDLE plain = CreateFileW(path.c_str(), GENERIC_WRITE | READ_CONTROL, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(plain, INVALID_HANDLE_VALUE);
  std::vector<Ace> before = ReadDacl(plain);
  CloseHandle(plain);

  HANDLE reopened = CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                                GetObjectSecurity(), OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reopened, INVALID_HANDLE_VALUE);
  std::vector<Ace> after = ReadDacl(reopened);
  CloseHandle(reopened);
  DeleteFileW(path.c_str());

  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].sid, before[i].sid);
}

TEST(ObjectSecurityTest, InheritableDescriptorMarksBothEntries) {
  PSECURITY_DESCRIPTOR sd = BuildAccessDescriptor(SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  ASSERT_NE(sd, nullptr);
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  ASSERT_EQ(dacl->AceCount, 2);
  for (DWORD i = 0; i < 2; ++i) {
    ACE_HEADER* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  }
  FreeAccessDescriptor(sd);
}

}  // namespace
