// The installation: log set-up, then every stage in its fixed order.
#ifndef BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_
#define BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_

// Process exit codes of a run, after the Windows Installer's conventions that
// deployment tools act on. A run whose installer ran ends with the
// installer's own code instead (3010 and 1641 ask for a reboot).
inline constexpr int kExitSuccess = 0;                 // installed, printed, or nothing to do
inline constexpr int kExitInstallFailure = 1603;       // ERROR_INSTALL_FAILURE
inline constexpr int kExitInstallAlreadyRunning = 1618;  // ERROR_INSTALL_ALREADY_RUNNING

// The process exit code for the run.
int InstallationWrapper(bool verify, bool createPackage);

#endif  // BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_
