// The arguments handed to the Windows Installer for a silent installation.
#ifndef BASTION_SRC_VTDROPPER_INSTALLER_ARGUMENTS_H_
#define BASTION_SRC_VTDROPPER_INSTALLER_ARGUMENTS_H_

#include <string>

namespace bastion {

// "/i \"<package>\" /qn": the package path is quoted, because the temporary
// folder of a user such as "Jane Doe" has a blank in it.
std::wstring InstallerArguments(const std::wstring& packagePath);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALLER_ARGUMENTS_H_
