#include "Src/VTDropper/entry.h"

#include <windows.h>

#include <stdio.h>

#include "Src/VTDropper/command_line.h"
#include "Src/VTDropper/install_procedure.h"
#include "diagnostics/trace.h"
#include "platform/system_library.h"

namespace bastion {
namespace {

// True when library loading can be restricted to the system folder, and it
// now is. On a system without KB2533623 a message box says so.
bool CheckSystemSupport() {
  static SystemLibrary kernel32(L"kernel32.dll");
  if (!kernel32.IsLoaded()) return false;
  auto* setDefaultDllDirectories =
      kernel32.Bind<decltype(SetDefaultDllDirectories)>("SetDefaultDllDirectories");
  if (setDefaultDllDirectories == nullptr) {
    MessageBoxA(nullptr, "Bastion Setup requires KB2533623", "Error", 0);
    return false;
  }
  return setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;
}

// A fault escaping the procedure is absorbed: the provider is released as at
// a normal end, and the run counts as failed.
LONG WINAPI AbsorbFault(EXCEPTION_POINTERS*) {
  trace::UnregisterProviders();
  ExitProcess(kExitInstallFailure);
}

}  // namespace

int RunBastionSetup(int argc, wchar_t** argv, const EntryHooks& hooks) {
  if (!(hooks.systemSupport != nullptr ? hooks.systemSupport() : CheckSystemSupport())) {
    fprintf(stderr, "%s", "Failed to initialize Bastion Setup!\n");
    return 1;
  }
  trace::RegisterProvider();
  if (hooks.onProviderRegistered != nullptr) hooks.onProviderRegistered();
  SetUnhandledExceptionFilter(AbsorbFault);

  RunMode mode = ParseCommandLine(argc, argv);
  if (mode == RunMode::kUsage) {
    fprintf(stderr, "%s", "BastionSetup usage\n\n");
    fprintf(stderr, "%s", "[BastionSetup.exe -v] to verify internal installation data\n");
    fprintf(stderr, "%s", "[BastionSetup.exe /createmsi] to create msi for installation purposes\n\n");
    return 1;
  }
  int exitCode =
      InstallationWrapper(mode == RunMode::kVerify, mode == RunMode::kCreatePackage, hooks.onProcedureStart);

  trace::UnregisterProviders();
  return exitCode;
}

}  // namespace bastion
