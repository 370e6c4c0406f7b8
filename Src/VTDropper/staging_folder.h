// Where the package is downloaded. An elevated run (LocalSystem included)
// stages it in a private folder of its own under the machine's temporary
// folder, where standard users may create entries but cannot reach into
// ours; any other run uses the user's "%temp%".
#ifndef BASTION_SRC_VTDROPPER_STAGING_FOLDER_H_
#define BASTION_SRC_VTDROPPER_STAGING_FOLDER_H_

#include <windows.h>

#include <string>

#include "Src/Httphelper/temporary_file.h"
#include "platform/scoped_handle.h"

namespace bastion {

// Where a run stages its package, and who owns what it creates there.
enum class Staging {
  kUserTemp,                   // not elevated: "%temp%"
  kPrivateForAdministrators,   // elevated: a private folder owned by Administrators
  kPrivateForLocalSystem,      // LocalSystem: a private folder owned by SYSTEM
};

// From the process token: LocalSystem, else elevated, else the user's temp.
Staging StagingForThisProcess();

// The security descriptor of the private folder and of the files made in
// it: an explicit owner, Administrators or SYSTEM as `staging` says, never
// left to the machine's default-owner policy (an owner that is the user's
// own SID would let the user's unelevated processes rewrite the list), and
// a protected access list granting full control to Administrators and
// SYSTEM and nothing to anyone else. A folder's entries are inherited by
// what is created inside it.
class PrivateSecurity {
 public:
  enum class Object { kFolder, kFile };
  PrivateSecurity(Staging staging, Object object);
  PrivateSecurity(const PrivateSecurity&) = delete;
  PrivateSecurity& operator=(const PrivateSecurity&) = delete;

  // 0 or the system's error that kept the descriptor from being built.
  DWORD error() const { return error_; }
  // Null when the descriptor could not be built.
  SECURITY_ATTRIBUTES* attributes() { return error_ == 0 ? &attributes_ : nullptr; }

 private:
  BYTE owner_[SECURITY_MAX_SID_SIZE] = {};
  BYTE administrators_[SECURITY_MAX_SID_SIZE] = {};
  BYTE system_[SECURITY_MAX_SID_SIZE] = {};
  ScopedHandle<LinkedCloseTraits<PACL, &LocalFree>> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  DWORD error_ = 0;
};

// Creates the folder `path` with PrivateSecurity for `staging`. Never takes
// an existing entry (ERROR_ALREADY_EXISTS). 0 or the system's error.
DWORD CreatePrivateFolder(const std::wstring& path, Staging staging);

class StagingFolder {
 public:
  // A private staging: a fresh private folder with an unpredictable name
  // under %SystemRoot%\Temp; otherwise "%temp%", which nothing creates.
  explicit StagingFolder(Staging staging);
  // The private folder goes with the object when nothing was left in it;
  // an installed package and the installer's log stay, since Windows
  // Installer may need its source and an administrator the log.
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  bool ok() const { return error_ == 0; }
  DWORD error() const { return error_; }
  // The folder for the download's files (environment variables unexpanded).
  const std::wstring& folder() const { return place_.folder; }
  // The folder, and for a private one the attributes its files get.
  const StagingPlace& place() const { return place_; }

 private:
  PrivateSecurity folderSecurity_;
  PrivateSecurity fileSecurity_;
  StagingPlace place_;
  bool created_ = false;
  DWORD error_ = 0;
};

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_STAGING_FOLDER_H_
