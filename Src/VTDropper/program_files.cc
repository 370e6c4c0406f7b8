#include "Src/VTDropper/program_files.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "platform/system_library.h"

namespace bastion {

namespace {

// {7C5A40EF-A0FB-4BFC-874A-C0F2E0B9FA8E}, FOLDERID_ProgramFilesX86.
constexpr GUID kProgramFilesX86Id = {0x7C5A40EF, 0xA0FB, 0x4BFC, {0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E}};

const SystemLibrary& Shell32() {
  static const SystemLibrary library(L"Shell32.dll");
  return library;
}

const SystemLibrary& Ole32() {
  static const SystemLibrary library(L"Ole32.dll");
  return library;
}

}  // namespace

std::wstring ProgramFilesFolder() {
  decltype(SHGetKnownFolderPath)* getKnownFolderPath = nullptr;
  decltype(CoTaskMemFree)* taskMemFree = nullptr;
  if (!BindExport(Shell32(), "SHGetKnownFolderPath", getKnownFolderPath)) return {};
  if (!BindExport(Ole32(), "CoTaskMemFree", taskMemFree)) return {};

  PWSTR path = nullptr;
  HRESULT result = getKnownFolderPath(kProgramFilesX86Id, 0, reinterpret_cast<HANDLE>(-1), &path);
  if (result != S_OK || path == nullptr) {
    // The caller frees the text even on failure, should the system have made one.
    taskMemFree(path);
    return {};
  }
  std::wstring folder(path);
  taskMemFree(path);
  return folder;
}

bool FileExistsInProgramFiles(int folderSelector, const wchar_t* relativePath) {
  if (folderSelector != kProgramFilesX86) return false;
  std::wstring folder = ProgramFilesFolder();
  if (folder.empty()) return false;
  std::wstring path = folder + L"\\" + relativePath;
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace bastion
