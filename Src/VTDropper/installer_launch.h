// Whether the agent is already here and whether the Windows Installer is busy
// with another installation; then starting the Windows Installer on a package
// and waiting for it to end.
#ifndef BASTION_SRC_VTDROPPER_INSTALLER_LAUNCH_H_
#define BASTION_SRC_VTDROPPER_INSTALLER_LAUNCH_H_

#include <windows.h>

#include "platform/scoped_handle.h"

namespace bastion {

// The agent's places below the 32-bit program files folder, in test order.
inline constexpr const wchar_t* kAgentPaths[] = {
    L"Veltrion\\Bastion Security Agent\\Bastion Common\\bin\\bxag.exe",
    L"Veltrion\\Bastion Security\\Bastion Common\\bin\\bxag.exe",
};

// True when either path names a file; the second is tested only when the
// first does not.
bool IsAgentInstalled();

// The Windows Installer holds this mutex while it runs an installation.
inline constexpr wchar_t kInstallerMutexName[] = L"Global\\_MSIExecute";

// Tests once, without waiting. A valid handle means another installation is
// in progress; the caller keeps it until its run ends.
ScopedKernelHandle OpenInstallerMutex();

// Owned by the caller; LaunchInstaller fills it and closes the process and
// thread handles before it returns.
struct LaunchRecord {
  STARTUPINFOW startup;
  PROCESS_INFORMATION process;
  // The installer's own exit code once it has ended; deployment tools act on
  // it (1603 failure, 3010 and 1641 reboot), so the run passes it on.
  DWORD exitCode;
  // Why it was not started: the system's error, ERROR_INSUFFICIENT_BUFFER
  // for a path or line that does not fit.
  DWORD error;
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
// window, and waits for it without a time limit. With `installerLog`, the
// installer is asked to write its verbose log there when the line has room
// for it; otherwise it runs without, and the log says so: the package is
// never given up for the log. True once it was started and the wait
// returned, with AwaitInstallerExitCode's answer in `record->exitCode` (the
// code read is traced); false, with the cause in `record->error`, when it
// was not started, for instance when the command line exceeds 259
// characters.
bool LaunchInstaller(LaunchRecord* record, const wchar_t* executable, const wchar_t* arguments,
                     const wchar_t* installerLog = nullptr);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALLER_LAUNCH_H_
