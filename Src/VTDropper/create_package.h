// Create-package mode: the verified package goes beside the executable as
// "BSX.msi" with the configuration embedded.
#ifndef BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
#define BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_

#include <stdio.h>

#include <string>

#include "Src/Httphelper/temporary_file.h"
#include "Src/VTDropper/install_procedure.h"

namespace bastion {

// Works in the folder of the verified, held `package` (the staging folder),
// under fresh names that are never an existing entry: writes `configDat`
// there, copies the package there, releases and deletes the staged
// download, adds the configuration to the copy's Binary table as
// "VTINSTADDEXT_config.dat" and sets "RECONF" to "1". Only the finished copy
// goes to `moduleDirectory` (ending in "\"), renamed over "BSX.msi" through
// its handle; the staged files are deleted whatever the outcome. The staged
// files are made with `privateFiles` when the run made its staging folder
// itself (the owner and list of its download), the process's default
// otherwise. The line
// naming the created package goes to `output`; a failure comes back with its
// line and the Windows error behind it.
RunResult CreateConfiguredPackage(HeldPackage& package, const std::wstring& moduleDirectory,
                                  const std::string& configDat, SECURITY_ATTRIBUTES* privateFiles,
                                  FILE* output);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
