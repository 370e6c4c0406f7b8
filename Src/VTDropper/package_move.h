// The move of the held package to its place beside the executable.
#ifndef BASTION_SRC_VTDROPPER_PACKAGE_MOVE_H_
#define BASTION_SRC_VTDROPPER_PACKAGE_MOVE_H_

#include <windows.h>

#include "Src/VTDropper/local_file_rules.h"

namespace bastion {

// Copies the package through `heldPackage` (read from its start) into a new
// file of `folder` (ending in "\") under a temporary name, then renames that
// copy over `folder` + `name`, replacing whatever has that name (a planted
// link included, which is replaced rather than written through). A failed
// step deletes the copy.
PackageMoveOutcome CopyPackageBeside(HANDLE heldPackage, const std::wstring& folder, const wchar_t* name);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_PACKAGE_MOVE_H_
