#include "Src/VTDropper/local_file_rules.h"

#include <stdio.h>

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

std::string PackageMoveFailureMessage(const PackageMoveOutcome& outcome) {
  if (outcome.moved()) return {};
  if (outcome.copyFailed) return "Failed to copy BSX.msi from temp folder\n";
  // The message ends in a blank and the format adds one: two blanks before
  // the code is the line's established form.
  char line[128];
  snprintf(line, sizeof(line), "%s %d %s", "Failed to copy BSX.msi from temp folder with error: ",
           static_cast<int>(outcome.error), "\n");
  return line;
}

}  // namespace bastion
