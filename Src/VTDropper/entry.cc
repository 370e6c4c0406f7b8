#include "Src/VTDropper/entry.h"

#include <windows.h>

#include <stdio.h>

#include "Src/VTDropper/command_line.h"
#include "Src/VTDropper/install_procedure.h"
#include "Src/VTDropper/system_support.h"
#include "diagnostics/trace.h"

namespace bastion {
namespace {

// A fault escaping the procedure is absorbed: the provider is released as at
// a normal end, and the run counts as failed.
LONG WINAPI AbsorbFault(EXCEPTION_POINTERS*) {
  trace::UnregisterProviders();
  ExitProcess(kExitInstallFailure);
}

}  // namespace

int RunBastionSetup(int argc, wchar_t** argv, ProviderRegisteredHook onProviderRegistered) {
  if (!CheckSystemSupport()) {
    fprintf(stderr, "%s", "Failed to initialize Bastion Setup!\n");
    return 1;
  }
  trace::RegisterProvider();
  if (onProviderRegistered != nullptr) onProviderRegistered();
  SetUnhandledExceptionFilter(AbsorbFault);

  RunMode mode = ParseCommandLine(argc, argv);
  if (mode == RunMode::kUsage) {
    fprintf(stderr, "%s", "BastionSetup usage\n\n");
    fprintf(stderr, "%s", "[BastionSetup.exe -v] to verify internal installation data\n");
    fprintf(stderr, "%s", "[BastionSetup.exe /createmsi] to create msi for installation purposes\n\n");
    return 1;
  }
  int exitCode = InstallationWrapper(mode == RunMode::kVerify, mode == RunMode::kCreatePackage);

  trace::UnregisterProviders();
  return exitCode;
}

}  // namespace bastion
