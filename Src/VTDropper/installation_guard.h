// Whether the Windows Installer is busy with another installation.
#ifndef BASTION_SRC_VTDROPPER_INSTALLATION_GUARD_H_
#define BASTION_SRC_VTDROPPER_INSTALLATION_GUARD_H_

#include "platform/scoped_handle.h"

namespace bastion {

// The Windows Installer holds this mutex while it runs an installation.
inline constexpr wchar_t kInstallerMutexName[] = L"Global\\_MSIExecute";

// Tests once, without waiting. A valid handle means another installation is
// in progress; the caller keeps it until its run ends.
ScopedKernelHandle OpenInstallerMutex();

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALLATION_GUARD_H_
