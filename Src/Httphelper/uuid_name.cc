#include "Src/Httphelper/uuid_name.h"

namespace bastion {

namespace {

// Appends `digits` lower-case hex digits of `value`, most significant first.
wchar_t* PutHex(wchar_t* out, uint32_t value, int digits) {
  static constexpr wchar_t kHex[] = L"0123456789abcdef";
  for (int i = digits - 1; i >= 0; --i) out[digits - 1 - i] = kHex[(value >> (4 * i)) & 0xF];
  return out + digits;
}

}  // namespace

void FormatUuidName(const UuidFields& uuid, wchar_t (&out)[kUuidNameLength + 1]) {
  wchar_t* p = PutHex(out, uuid.data1, 8);
  *p++ = L'-';
  p = PutHex(p, uuid.data2, 4);
  *p++ = L'-';
  p = PutHex(p, uuid.data3, 4);
  *p++ = L'-';
  p = PutHex(p, uuid.data4[0], 2);
  p = PutHex(p, uuid.data4[1], 2);
  *p++ = L'-';
  for (int i = 2; i < 8; ++i) p = PutHex(p, uuid.data4[i], 2);
  *p = L'\0';
}

}  // namespace bastion
