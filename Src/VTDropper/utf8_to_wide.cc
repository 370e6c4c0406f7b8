#include "Src/VTDropper/utf8_to_wide.h"

#include <windows.h>

#include <climits>

namespace bastion {

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
  if (written <= 0) return {};
  wide.resize(static_cast<size_t>(written));
  return wide;
}

}  // namespace bastion
