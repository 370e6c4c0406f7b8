#include "Src/VTDropper/installation_guard.h"

#include <windows.h>

namespace bastion {

ScopedKernelHandle OpenInstallerMutex() {
  return ScopedKernelHandle(OpenMutexW(SYNCHRONIZE, FALSE, kInstallerMutexName));
}

}  // namespace bastion
