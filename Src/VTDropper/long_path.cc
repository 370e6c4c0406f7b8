#include "Src/VTDropper/long_path.h"

namespace bastion {

namespace {

constexpr size_t kPlainLimit = 260;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::wstring(prefix).size(), prefix) == 0;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (path.size() < kPlainLimit || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\"))
    return path;
  if (StartsWith(path, L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  const bool drivePath = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
  return drivePath ? L"\\\\?\\" + path : path;
}

}  // namespace bastion
