// Create-package mode once config.dat is beside the executable: the package
// goes beside it as "BSX.msi" with the configuration embedded.
#ifndef BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
#define BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_

#include <stdio.h>

#include <string>

#include "Src/Httphelper/temporary_file.h"
#include "Src/VTDropper/install_procedure.h"

namespace bastion {

// Copies the verified, held `package` to `moduleDirectory` (ending in "\")
// + "BSX.msi", then releases and deletes the staged file, adds
// `moduleDirectory` + "config.dat" to the copy's Binary table, sets "RECONF"
// to "1", and deletes that config.dat once the edits were tried. The line
// naming the created package goes to `output`; a failure comes back with its
// line and the Windows error behind it.
RunResult CreateConfiguredPackage(HeldPackage& package, const std::wstring& moduleDirectory, FILE* output);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
