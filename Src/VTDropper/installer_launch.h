// Starting the Windows Installer on a package and waiting for it to end.
#ifndef BASTION_SRC_VTDROPPER_INSTALLER_LAUNCH_H_
#define BASTION_SRC_VTDROPPER_INSTALLER_LAUNCH_H_

#include <windows.h>

namespace bastion {

// Owned by the caller; LaunchInstaller fills it and closes the process and
// thread handles before it returns.
struct LaunchRecord {
  STARTUPINFOW startup;
  PROCESS_INFORMATION process;
  // The installer's own exit code once it has ended; deployment tools act on
  // it (1603 failure, 3010 and 1641 reboot), so the run passes it on.
  DWORD exitCode;
};

// The waits on the installer, replaceable by tests.
struct InstallerWaitCalls {
  decltype(&WaitForSingleObject) wait;
  decltype(&GetExitCodeProcess) exitCode;
};

// Waits for `process` without a time limit and answers its exit code. When
// the wait or the read fails, or the code read is STILL_ACTIVE, the answer
// is 1603 (ERROR_INSTALL_FAILURE): a run must never pass on 0 or 259 for an
// installer whose end it did not see.
DWORD AwaitInstallerExitCode(HANDLE process, const InstallerWaitCalls& calls = {WaitForSingleObject,
                                                                                GetExitCodeProcess});

// Runs `executable` from the system folder with `arguments`, without a
// window, and waits for it without a time limit. True once it was started
// and the wait returned, with AwaitInstallerExitCode's answer in
// `record->exitCode` (the code read is traced); false when it was not
// started, for instance when the command line exceeds 259 characters.
bool LaunchInstaller(LaunchRecord* record, const wchar_t* executable, const wchar_t* arguments);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALLER_LAUNCH_H_
