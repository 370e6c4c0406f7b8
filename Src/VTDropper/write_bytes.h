// Writing a byte buffer to a new or replaced file.
#ifndef BASTION_SRC_VTDROPPER_WRITE_BYTES_H_
#define BASTION_SRC_VTDROPPER_WRITE_BYTES_H_

#include <stddef.h>

#include "platform/scoped_handle.h"
#include "platform/win32_result.h"

namespace bastion {

struct WriteResult {
  ScopedKernelHandle file;  // left open for the caller, who closes it
  Win32Result outcome = Win32Result::Failure(0);
};

// Creates or truncates `path` with the process's object security and writes
// `count` bytes; 0 bytes make an empty file.
WriteResult WriteBytesToFile(const wchar_t* path, const unsigned char* bytes, size_t count);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_WRITE_BYTES_H_
