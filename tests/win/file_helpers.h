// Plain file chores of the file-system tests, done with the system's calls
// rather than the code under test.
#ifndef BASTION_TESTS_WIN_FILE_HELPERS_H_
#define BASTION_TESTS_WIN_FILE_HELPERS_H_

#include <string>

// The whole file, or "<missing>" when it cannot be opened.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool PathExists(const std::wstring& path);
// Removes `folder` (ending in "\") with everything in it, read-only files included.
void RemoveTree(const std::wstring& folder);
// A fresh folder "<temporary folder><prefix><current test's name>\".
std::wstring TestFolder(const wchar_t* prefix);

#endif  // BASTION_TESTS_WIN_FILE_HELPERS_H_
