// The running executable's own path and folder.
#ifndef BASTION_SRC_VTDROPPER_MODULE_PATH_H_
#define BASTION_SRC_VTDROPPER_MODULE_PATH_H_

#include <string>

// Full path of the executable; empty on failure.
std::wstring ModulePath();

// The module path cut after its last "\" (which stays); empty on failure.
std::wstring ModuleDirectory();

#endif  // BASTION_SRC_VTDROPPER_MODULE_PATH_H_
