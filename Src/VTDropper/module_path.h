// The running executable's own path and folder.
#ifndef BASTION_SRC_VTDROPPER_MODULE_PATH_H_
#define BASTION_SRC_VTDROPPER_MODULE_PATH_H_

#include <windows.h>

#include <string>

namespace bastion {

// Full path of the executable; empty on failure.
std::wstring ModulePath();

// Full path of the executable at any length, in the form the wide file calls
// accept (ExtendedLengthPath); empty on failure, with the Win32 error in
// `error`.
std::wstring LongModulePath(DWORD& error);

// The module path cut after its last "\" (which stays); empty on failure.
std::wstring ModuleDirectory();

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_MODULE_PATH_H_
