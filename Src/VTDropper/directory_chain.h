// Creation of every folder along a path.
#ifndef BASTION_SRC_VTDROPPER_DIRECTORY_CHAIN_H_
#define BASTION_SRC_VTDROPPER_DIRECTORY_CHAIN_H_

// Creates each folder up to the last "\" of `path`; the text after it is not
// created. Folders that exist, and those the system refuses with access
// denied (the drive root, among others), pass: a later write fails in their
// place. False at the first other failure, or for a prefix over 259 characters.
bool CreateDirectoryChain(const wchar_t* path);

#endif  // BASTION_SRC_VTDROPPER_DIRECTORY_CHAIN_H_
