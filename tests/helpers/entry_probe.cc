// Runs the product's entry with the hook its argument names: "fault" raises
// an access violation and "throw" throws, both from inside the installation
// once its log is set up; "unsupported" answers that library loading
// cannot be restricted to the system folder, as a system without KB2533623
// does (without its message box).
#include <windows.h>

#include <cwchar>
#include <stdexcept>

#include "Src/VTDropper/entry.h"

int wmain(int argc, wchar_t** argv) {
  bastion::EntryHooks hooks;
  if (argc == 2 && std::wcscmp(argv[1], L"fault") == 0) {
    hooks.onProcedureStart = [] { RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr); };
  } else if (argc == 2 && std::wcscmp(argv[1], L"throw") == 0) {
    hooks.onProcedureStart = [] { throw std::runtime_error("thrown by entry_probe"); };
  } else if (argc == 2 && std::wcscmp(argv[1], L"unsupported") == 0) {
    hooks.systemSupport = [] { return false; };
  } else {
    return 2;
  }
  return bastion::RunBastionSetup(1, argv, hooks);
}
