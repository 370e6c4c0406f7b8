// What a move of the downloaded package beside the executable came to, and
// the line the user sees when it failed.
#ifndef BASTION_SRC_VTDROPPER_PACKAGE_MOVE_OUTCOME_H_
#define BASTION_SRC_VTDROPPER_PACKAGE_MOVE_OUTCOME_H_

#include <string>

// The system's code for a move between two volumes.
inline constexpr unsigned long kErrorNotSameDevice = 17;

struct PackageMoveOutcome {
  unsigned long error = 0;   // 0 when the package was moved
  bool copyTried = false;    // the copy-allowed second move was made
  bool moved() const { return error == 0; }
};

// A plain move fails between volumes; only then is a copy worth trying.
bool NeedsCopyAllowedRetry(unsigned long firstMoveError);

// The standard-error line for a failed move, empty for a successful one.
std::string PackageMoveFailureMessage(const PackageMoveOutcome& outcome);

#endif  // BASTION_SRC_VTDROPPER_PACKAGE_MOVE_OUTCOME_H_
