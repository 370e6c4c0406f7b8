// Create-package mode once config.dat is beside the executable: the package
// goes beside it as "BSX.msi" with the configuration embedded.
#ifndef BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
#define BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_

#include <stdio.h>

#include <string>

// Moves the verified package from `temporaryPackagePath` to
// `moduleDirectory` (ending in "\") + "BSX.msi", adds `moduleDirectory` +
// "config.dat" to its Binary table, sets "RECONF" to "1", and deletes that
// config.dat once the edits were tried. Every line for the user goes to
// `errors`. True when the package was created.
bool CreateConfiguredPackage(const std::wstring& temporaryPackagePath, const std::wstring& moduleDirectory,
                             FILE* errors);

#endif  // BASTION_SRC_VTDROPPER_CREATE_PACKAGE_H_
