#include "Src/VTDropper/console_release.h"

#include <windows.h>

namespace bastion {

bool ReleaseConsoleIfOwnedAlone() {
  // Room for two: all we need to know is whether anyone else is attached.
  DWORD processes[2] = {};
  // 0 means no console, or a system that cannot tell: keep what we have.
  if (GetConsoleProcessList(processes, 2) != 1) return false;
  return FreeConsole() != 0;
}

}  // namespace bastion
