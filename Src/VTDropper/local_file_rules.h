// The rules of local files that need no system call: the form of a long full
// path, and what a move of the downloaded package came to.
#ifndef BASTION_SRC_VTDROPPER_LOCAL_FILE_RULES_H_
#define BASTION_SRC_VTDROPPER_LOCAL_FILE_RULES_H_

#include <string>

namespace bastion {

// `path` as the wide file calls accept it at any length: a full path of 260
// characters or more gains the "\\?\" prefix ("\\server\share" becomes
// "\\?\UNC\server\share"); a shorter one, one already in the "\\?\" or
// "\\.\" form, and one that is not a full path come back unchanged.
std::wstring ExtendedLengthPath(const std::wstring& path);

// What a move of the downloaded package beside the executable came to.
struct PackageMoveOutcome {
  unsigned long error = 0;   // 0 when the package is in place; else the system's error
  bool copyFailed = false;   // the copy failed, rather than the rename over the target
  bool moved() const { return error == 0; }
};

// The standard-error line for a failed move, empty for a successful one.
std::string PackageMoveFailureMessage(const PackageMoveOutcome& outcome);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_LOCAL_FILE_RULES_H_
