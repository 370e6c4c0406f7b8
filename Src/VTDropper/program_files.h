// The 32-bit program files folder, and files below it.
#ifndef BASTION_SRC_VTDROPPER_PROGRAM_FILES_H_
#define BASTION_SRC_VTDROPPER_PROGRAM_FILES_H_

#include <string>

namespace bastion {

// Selector of FileExistsInProgramFiles for the 32-bit program files folder,
// the only folder defined.
inline constexpr int kProgramFilesX86 = 1;

// Empty on any failure.
std::wstring ProgramFilesFolder();

// True when `relativePath` below the selected folder names a file; a folder
// of that name does not count.
bool FileExistsInProgramFiles(int folderSelector, const wchar_t* relativePath);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_PROGRAM_FILES_H_
