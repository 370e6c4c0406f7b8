// Full paths too long for the plain wide file calls.
#ifndef BASTION_SRC_VTDROPPER_LONG_PATH_H_
#define BASTION_SRC_VTDROPPER_LONG_PATH_H_

#include <string>

namespace bastion {

// `path` as the wide file calls accept it at any length: a full path of 260
// characters or more gains the "\\?\" prefix ("\\server\share" becomes
// "\\?\UNC\server\share"); a shorter one, one already in the "\\?\" or
// "\\.\" form, and one that is not a full path come back unchanged.
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_LONG_PATH_H_
