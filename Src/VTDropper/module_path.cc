#include "Src/VTDropper/module_path.h"

#include <windows.h>

#include "Src/VTDropper/path_buffer.h"

std::wstring ModulePath() {
  wchar_t path[PathBuffer::kCapacity] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, PathBuffer::kCapacity);
  // A result that fills the buffer is a cut path, which names another file.
  if (length == 0 || length >= PathBuffer::kCapacity) return {};
  return std::wstring(path, length);
}

std::wstring ModuleDirectory() {
  std::wstring path = ModulePath();
  size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash + 1);
}
