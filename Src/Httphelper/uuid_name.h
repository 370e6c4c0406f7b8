// The text form of a UUID used as a temporary file name: 36 characters,
// lower-case hex digits, hyphens after the 8th, 12th, 16th and 20th digit,
// no braces.
#ifndef BASTION_SRC_HTTPHELPER_UUID_NAME_H_
#define BASTION_SRC_HTTPHELPER_UUID_NAME_H_

#include <stdint.h>

namespace bastion {

struct UuidFields {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

inline constexpr int kUuidNameLength = 36;

// Writes the name and a terminating zero into `out`.
void FormatUuidName(const UuidFields& uuid, wchar_t (&out)[kUuidNameLength + 1]);

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_UUID_NAME_H_
