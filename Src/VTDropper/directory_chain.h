// Creation of every folder along a path.
#ifndef BASTION_SRC_VTDROPPER_DIRECTORY_CHAIN_H_
#define BASTION_SRC_VTDROPPER_DIRECTORY_CHAIN_H_

#include "platform/win32_result.h"

namespace bastion {

// Creates each folder up to the last "\" of `path`; the text after it is not
// created. Folders that exist, and those the system refuses with access
// denied (the drive root, among others), pass: a later write fails in their
// place. Fails with the system's error at the first other failure, or with
// ERROR_FILENAME_EXCED_RANGE for a prefix over 259 characters.
Win32Result CreateDirectoryChain(const wchar_t* path);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_DIRECTORY_CHAIN_H_
