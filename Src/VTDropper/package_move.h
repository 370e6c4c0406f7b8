// The move of the downloaded package to its place beside the executable.
#ifndef BASTION_SRC_VTDROPPER_PACKAGE_MOVE_H_
#define BASTION_SRC_VTDROPPER_PACKAGE_MOVE_H_

#include "Src/VTDropper/package_move_outcome.h"

// Moves `source` to `target`, replacing it; a move between volumes is made
// again as a copy.
PackageMoveOutcome MovePackage(const wchar_t* source, const wchar_t* target);

#endif  // BASTION_SRC_VTDROPPER_PACKAGE_MOVE_H_
