#include "diagnostics/log_paths.h"

#include <stdio.h>

namespace bastion {

namespace {

constexpr char kSeparators[] = "\\/";
constexpr unsigned long kDirectory = 0x10;     // FILE_ATTRIBUTE_DIRECTORY
constexpr unsigned long kReparsePoint = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

bool SameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

}  // namespace

std::string LogFolderOf(const std::string& path) {
  size_t last = path.find_last_of(kSeparators);
  return last == std::string::npos ? std::string() : path.substr(0, last);
}

std::string RotatedLogName(const std::string& base, size_t index) {
  if (index == 0) return base;
  // An extension starts at the last point of the file name, provided the name
  // does not start with it (".log") and it is not the last character.
  size_t dot = base.rfind('.');
  size_t separator = base.find_last_of(kSeparators);
  size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  bool hasExtension = dot != std::string::npos && dot > nameStart && dot + 1 < base.size();
  std::string stem = hasExtension ? base.substr(0, dot) : base;
  std::string extension = hasExtension ? base.substr(dot) : std::string();
  return stem + "." + std::to_string(index) + extension;
}

std::string ProbeFileName(const unsigned char (&uuid)[16]) {
  unsigned long data1 = static_cast<unsigned long>(uuid[0]) | uuid[1] << 8 | uuid[2] << 16 |
                        static_cast<unsigned long>(uuid[3]) << 24;
  unsigned data2 = uuid[4] | uuid[5] << 8;
  unsigned data3 = uuid[6] | uuid[7] << 8;
  char text[37];
  snprintf(text, sizeof(text), "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", data1, data2,
           data3, uuid[8], uuid[9], uuid[10], uuid[11], uuid[12], uuid[13], uuid[14], uuid[15]);
  return text;
}

bool IsOwnLogEntry(const OpenedLogEntry& entry, bool folder, const std::wstring& parentFinal,
                   const std::wstring& name) {
  if (entry.attributes & kReparsePoint) return false;
  if (((entry.attributes & kDirectory) != 0) != folder) return false;
  if (!folder && entry.links != 1) return false;
  if (parentFinal.empty() || name.empty()) return false;
  // A volume root's final path ends in its separator already.
  const bool separated = parentFinal.back() == L'\\';
  return SameIgnoringAsciiCase(entry.finalPath, parentFinal + (separated ? L"" : L"\\") + name);
}

}  // namespace bastion
