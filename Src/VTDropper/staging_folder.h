// Where the package is downloaded. An elevated run (LocalSystem included)
// stages it in a private folder of its own under the machine's temporary
// folder, where standard users may create entries but cannot reach into
// ours; any other run uses the user's "%temp%".
#ifndef BASTION_SRC_VTDROPPER_STAGING_FOLDER_H_
#define BASTION_SRC_VTDROPPER_STAGING_FOLDER_H_

#include <windows.h>

#include <string>

namespace bastion {

// True when the process token is elevated or is LocalSystem's.
bool ProcessIsElevated();

// Creates the folder `path` with a protected access list granting full
// control to Administrators and SYSTEM and nothing to anyone else. Never
// takes an existing entry (ERROR_ALREADY_EXISTS). 0 or the system's error.
DWORD CreatePrivateFolder(const std::wstring& path);

class StagingFolder {
 public:
  // `elevated`: a fresh private folder with an unpredictable name under
  // %SystemRoot%\Temp; otherwise "%temp%", which nothing creates.
  explicit StagingFolder(bool elevated);
  // The private folder goes with the object when nothing was left in it;
  // an installed package stays, since Windows Installer may need its source.
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  bool ok() const { return error_ == 0; }
  DWORD error() const { return error_; }
  // The folder for the download's files (environment variables unexpanded).
  const std::wstring& folder() const { return folder_; }

 private:
  std::wstring folder_;
  bool created_ = false;
  DWORD error_ = 0;
};

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_STAGING_FOLDER_H_
