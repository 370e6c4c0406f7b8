// Create-package mode once config.dat is beside the executable: the package
// goes beside it as "BSX.msi" with the configuration embedded.
#ifndef BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
#define BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_

#include <stdio.h>

#include <string>

#include "Src/VTDropper/run_result.h"

// Moves the verified package from `temporaryPackagePath` to
// `moduleDirectory` (ending in "\") + "BSX.msi", adds `moduleDirectory` +
// "config.dat" to its Binary table, sets "RECONF" to "1", and deletes that
// config.dat once the edits were tried. The line naming the created package
// goes to `output`; a failure comes back with its line and the Windows error
// behind it.
RunResult CreateConfiguredPackage(const std::wstring& temporaryPackagePath, const std::wstring& moduleDirectory,
                                  FILE* output);

#endif  // BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
