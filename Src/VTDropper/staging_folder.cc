#include "Src/VTDropper/staging_folder.h"

#include <aclapi.h>

namespace bastion {

Staging StagingForThisProcess() {
  ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return Staging::kUserTemp;
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &size) &&
      IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid))
    return Staging::kPrivateForLocalSystem;
  TOKEN_ELEVATION elevation = {};
  if (GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
      elevation.TokenIsElevated != 0)
    return Staging::kPrivateForAdministrators;
  return Staging::kUserTemp;
}

PrivateSecurity::PrivateSecurity(Staging staging, Object object) {
  DWORD adminsSize = sizeof(administrators_);
  DWORD systemSize = sizeof(system_);
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators_, &adminsSize) ||
      !CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &systemSize)) {
    error_ = GetLastError();
    return;
  }
  const BYTE* owner = staging == Staging::kPrivateForLocalSystem ? system_ : administrators_;
  if (!CopySid(sizeof(owner_), owner_, const_cast<BYTE*>(owner))) {
    error_ = GetLastError();
    return;
  }
  EXPLICIT_ACCESS_W entries[2] = {};
  PSID sids[2] = {administrators_, system_};
  for (int i = 0; i < 2; ++i) {
    entries[i].grfAccessPermissions = GENERIC_ALL;
    entries[i].grfAccessMode = SET_ACCESS;
    entries[i].grfInheritance = object == Object::kFolder ? SUB_CONTAINERS_AND_OBJECTS_INHERIT : NO_INHERITANCE;
    entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entries[i].Trustee.TrusteeType = i == 0 ? TRUSTEE_IS_GROUP : TRUSTEE_IS_USER;
    entries[i].Trustee.ptstrName = static_cast<LPWSTR>(sids[i]);
  }
  error_ = SetEntriesInAclW(2, entries, nullptr, acl_.Receive());
  if (error_ != ERROR_SUCCESS) return;
  // Protected: nothing the machine's temporary folder grants is inherited.
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorOwner(&descriptor_, owner_, FALSE) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl_.Get(), FALSE) ||
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    error_ = GetLastError();
    return;
  }
  attributes_.lpSecurityDescriptor = &descriptor_;
}

DWORD CreatePrivateFolder(const std::wstring& path, Staging staging) {
  PrivateSecurity security(staging, PrivateSecurity::Object::kFolder);
  if (security.error() != 0) return security.error();
  return CreateDirectoryW(path.c_str(), security.attributes()) ? 0 : GetLastError();
}

StagingFolder::StagingFolder(Staging staging)
    : folderSecurity_(staging, PrivateSecurity::Object::kFolder),
      fileSecurity_(staging, PrivateSecurity::Object::kFile) {
  if (staging == Staging::kUserTemp) {
    place_.folder = L"%temp%";
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
  error_ = folderSecurity_.error() != 0 ? folderSecurity_.error() : fileSecurity_.error();
  if (error_ != 0) return;
  std::wstring windowsFolder = windows;
  if (windowsFolder.back() != L'\\') windowsFolder += L'\\';
  place_.folder = windowsFolder + L"Temp\\" + name;
  error_ = CreateDirectoryW(place_.folder.c_str(), folderSecurity_.attributes()) ? 0 : GetLastError();
  created_ = error_ == 0;
  // Only a folder this run made, with its owner and list, lets its files go
  // without a digest.
  if (created_) place_.privateFiles = fileSecurity_.attributes();
}

StagingFolder::~StagingFolder() {
  if (created_) RemoveDirectoryW(place_.folder.c_str());
}

}  // namespace bastion
