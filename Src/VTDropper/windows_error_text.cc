#include "Src/VTDropper/windows_error_text.h"

#include <windows.h>

#include <stdio.h>

namespace bastion {

namespace {

// The system's text, without its line end.
std::string SystemText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (length > 0) {
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
      --length;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size > 0) {
      utf8.resize(static_cast<size_t>(size));
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
    }
  }
  if (text != nullptr) LocalFree(text);
  // A text of several lines stays on the log's one line.
  for (char& c : utf8) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return utf8;
}

}  // namespace

std::string WindowsErrorDetail(unsigned long error) {
  if (error == 0) return {};
  char code[32];
  // HRESULTs (trust verdicts among them) read as their hexadecimal form.
  snprintf(code, sizeof(code), error >= 0x80000000UL ? "0x%08lX" : "%lu", error);
  std::string text = SystemText(static_cast<DWORD>(error));
  return std::string(" (error ") + code + (text.empty() ? "" : ": " + text) + ")";
}

}  // namespace bastion
