#include "Src/Httphelper/content_length.h"

namespace bastion {

bool ParseContentLength(const wchar_t* text, uint64_t& value) {
  if (text == nullptr) return false;
  while (*text == L' ' || *text == L'\t') ++text;
  uint64_t result = 0;
  bool digits = false;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    uint64_t digit = static_cast<uint64_t>(*text - L'0');
    if (result > (UINT64_MAX - digit) / 10) return false;
    result = result * 10 + digit;
    digits = true;
  }
  while (*text == L' ' || *text == L'\t') ++text;
  if (!digits || *text != L'\0') return false;
  value = result;
  return true;
}

}  // namespace bastion
