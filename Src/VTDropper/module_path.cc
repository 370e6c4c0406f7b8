#include "Src/VTDropper/module_path.h"

#include <vector>

#include "Src/VTDropper/local_file_rules.h"
#include "platform/path_buffer.h"

namespace bastion {

namespace {

// The longest path the system's file names allow, and its terminating zero.
constexpr DWORD kLongPathCapacity = 32768;

}  // namespace

std::wstring ModulePath() {
  wchar_t path[PathBuffer::kCapacity] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, PathBuffer::kCapacity);
  // A result that fills the buffer is a cut path, which names another file.
  if (length == 0 || length >= PathBuffer::kCapacity) return {};
  return std::wstring(path, length);
}

std::wstring LongModulePath(DWORD& error) {
  std::vector<wchar_t> path(kLongPathCapacity);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), kLongPathCapacity);
  error = length == 0                    ? GetLastError()
          : length >= kLongPathCapacity ? ERROR_INSUFFICIENT_BUFFER
                                        : ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return {};
  return ExtendedLengthPath(std::wstring(path.data(), length));
}

std::wstring ModuleDirectory() {
  std::wstring path = ModulePath();
  size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash + 1);
}

}  // namespace bastion
