// The installation: log set-up, then every stage in its fixed order. How a
// run ends is carried from the stage that decided it to the one place that
// reports it (InstallationWrapper): the process exit code, the line for
// standard error, and the Windows error behind a failure, which only the log
// line shows.
#ifndef BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_
#define BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_

#include <string>
#include <utility>

namespace bastion {


// Process exit codes of a run, after the Windows Installer's conventions that
// deployment tools act on. A run whose installer ran ends with the
// installer's own code instead (3010 and 1641 ask for a reboot).
inline constexpr int kExitSuccess = 0;                   // installed, printed, or nothing to do
inline constexpr int kExitInstallFailure = 1603;         // ERROR_INSTALL_FAILURE
inline constexpr int kExitInstallAlreadyRunning = 1618;  // ERROR_INSTALL_ALREADY_RUNNING

struct RunResult {
  int exitCode = kExitSuccess;
  // The line for standard error, "\n" included; empty for none. The log
  // gets it as well, without the line end.
  std::string message;
  // The Windows error that caused the end; 0 when none did.
  unsigned long windowsError = 0;
  // Logged at level info instead of error.
  bool logAsInfo = false;
};

inline RunResult Finished(int exitCode) { return {exitCode, {}, 0, false}; }

inline RunResult Fail(std::string message, unsigned long windowsError = 0) {
  return {kExitInstallFailure, std::move(message), windowsError, false};
}

// The process exit code for the run; `onStart`, when given, is called inside
// the guard that turns an escaping exception into a failed run.
int InstallationWrapper(bool verify, bool createPackage, void (*onStart)() = nullptr);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_
