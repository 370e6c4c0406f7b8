#include "Src/VTDropper/installation_guard.h"

#include <windows.h>

ScopedHandle OpenInstallerMutex() {
  return ScopedHandle(OpenMutexW(SYNCHRONIZE, FALSE, kInstallerMutexName));
}
