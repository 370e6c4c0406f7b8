// A text value under HKEY_LOCAL_MACHINE.
#ifndef BASTION_SRC_VTDROPPER_MACHINE_STRING_VALUE_H_
#define BASTION_SRC_VTDROPPER_MACHINE_STRING_VALUE_H_

#include <windows.h>

namespace bastion {

// Writes `value` (UTF-8) as REG_SZ `valueName` under HKLM `keyPath`, making
// the key when it is missing. The text is stored as UTF-16 so non-ASCII
// characters survive; its size counts no terminating zero. Returns the
// registry's error code, 0 on success; text that is not UTF-8 is refused
// with ERROR_NO_UNICODE_TRANSLATION and nothing is written.
LSTATUS SetMachineStringValue(const char* keyPath, const char* valueName, const char* value);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_MACHINE_STRING_VALUE_H_
