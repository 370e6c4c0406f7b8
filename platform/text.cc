#include "platform/text.h"

#include <windows.h>

#include <climits>

namespace bastion {

std::optional<std::wstring> Utf8ToWide(std::string_view text, InvalidUtf8 invalid) {
  if (text.empty()) return std::wstring();
  if (text.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
  const DWORD flags = invalid == InvalidUtf8::kRefuse ? MB_ERR_INVALID_CHARS : 0;
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, flags, text.data(), length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(CP_UTF8, flags, text.data(), length, wide.data(), needed);
  if (written != needed) return std::nullopt;
  return wide;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

}  // namespace bastion
