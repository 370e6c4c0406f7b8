// What a move of the downloaded package beside the executable came to, and
// the line the user sees when it failed.
#ifndef BASTION_SRC_VTDROPPER_PACKAGE_MOVE_OUTCOME_H_
#define BASTION_SRC_VTDROPPER_PACKAGE_MOVE_OUTCOME_H_

#include <string>

namespace bastion {

struct PackageMoveOutcome {
  unsigned long error = 0;   // 0 when the package is in place; else the system's error
  bool copyFailed = false;   // the copy failed, rather than the rename over the target
  bool moved() const { return error == 0; }
};

// The standard-error line for a failed move, empty for a successful one.
std::string PackageMoveFailureMessage(const PackageMoveOutcome& outcome);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_PACKAGE_MOVE_OUTCOME_H_
