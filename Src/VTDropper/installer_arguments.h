// The arguments handed to the Windows Installer for a silent installation,
// and the installer's own verbose log beside the package.
#ifndef BASTION_SRC_VTDROPPER_INSTALLER_ARGUMENTS_H_
#define BASTION_SRC_VTDROPPER_INSTALLER_ARGUMENTS_H_

#include <string>

namespace bastion {

// "/i \"<package>\" /qn": the package path is quoted, because the temporary
// folder of a user such as "Jane Doe" has a blank in it.
std::wstring InstallerArguments(const std::wstring& packagePath);

// "<package>.log": the installer's log sits beside the package, in the same
// folder and under the same protection, and stays after the run.
std::wstring InstallerLogPath(const std::wstring& packagePath);

// " /l*v \"<log>\"": appended to the arguments when the line has room.
std::wstring InstallerLogArguments(const std::wstring& logPath);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALLER_ARGUMENTS_H_
