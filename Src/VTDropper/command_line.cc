#include "Src/VTDropper/command_line.h"

namespace bastion {

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

bool EqualsAsciiNoCase(const wchar_t* a, const wchar_t* b) {
  for (; *a != L'\0' && *b != L'\0'; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

RunMode ParseCommandLine(int argc, const wchar_t* const* argv) {
  if (argc != 2) return RunMode::kInstall;
  if (EqualsAsciiNoCase(argv[1], L"/?")) return RunMode::kUsage;
  if (EqualsAsciiNoCase(argv[1], L"-v")) return RunMode::kVerify;
  if (EqualsAsciiNoCase(argv[1], L"/createmsi")) return RunMode::kCreatePackage;
  return RunMode::kInstall;
}

}  // namespace bastion
