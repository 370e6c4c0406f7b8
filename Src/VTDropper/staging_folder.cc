#include "Src/VTDropper/staging_folder.h"

#include <aclapi.h>

#include "Src/Httphelper/temporary_file.h"
#include "platform/scoped_handle.h"

namespace bastion {

bool ProcessIsElevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  ScopedKernelHandle token(raw);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
      elevation.TokenIsElevated != 0)
    return true;
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &size)) return false;
  return IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

DWORD CreatePrivateFolder(const std::wstring& path) {
  BYTE admins[SECURITY_MAX_SID_SIZE];
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD adminsSize = sizeof(admins);
  DWORD systemSize = sizeof(system);
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &adminsSize) ||
      !CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize))
    return GetLastError();
  EXPLICIT_ACCESS_W entries[2] = {};
  PSID sids[2] = {admins, system};
  for (int i = 0; i < 2; ++i) {
    entries[i].grfAccessPermissions = GENERIC_ALL;
    entries[i].grfAccessMode = SET_ACCESS;
    entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[i].Trustee.TrusteeType = i == 0 ? TRUSTEE_IS_GROUP : TRUSTEE_IS_USER;
    entries[i].Trustee.ptstrName = static_cast<LPWSTR>(sids[i]);
  }
  PACL acl = nullptr;
  DWORD error = SetEntriesInAclW(2, entries, nullptr, &acl);
  if (error != ERROR_SUCCESS) return error;
  SECURITY_DESCRIPTOR descriptor;
  // Protected: nothing the machine's temporary folder grants is inherited.
  if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    error = GetLastError();
    LocalFree(acl);
    return error;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
  error = CreateDirectoryW(path.c_str(), &attributes) ? 0 : GetLastError();
  LocalFree(acl);
  return error;
}

StagingFolder::StagingFolder(bool elevated) {
  if (!elevated) {
    folder_ = L"%temp%";
    return;
  }
  wchar_t windows[MAX_PATH] = {};
  UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    error_ = length == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
    return;
  }
  const std::wstring name = NewUuidName();
  if (name.empty()) {
    error_ = ERROR_GEN_FAILURE;
    return;
  }
  std::wstring windowsFolder = windows;
  if (windowsFolder.back() != L'\\') windowsFolder += L'\\';
  folder_ = windowsFolder + L"Temp\\" + name;
  error_ = CreatePrivateFolder(folder_);
  created_ = error_ == 0;
}

StagingFolder::~StagingFolder() {
  if (created_) RemoveDirectoryW(folder_.c_str());
}

}  // namespace bastion
