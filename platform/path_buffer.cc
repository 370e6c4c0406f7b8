#include "platform/path_buffer.h"

#include <wchar.h>

namespace bastion {

bool PathBuffer::Append(const wchar_t* text) { return Append(text, wcslen(text)); }

bool PathBuffer::Append(const wchar_t* text, size_t count) {
  if (count >= kCapacity - length_) return false;
  wmemcpy(text_ + length_, text, count);
  length_ += count;
  text_[length_] = L'\0';
  return true;
}

}  // namespace bastion
