#include "Src/VTDropper/write_bytes.h"

#include <windows.h>

#include "platform/object_security.h"

namespace bastion {

WriteResult WriteBytesToFile(const wchar_t* path, const unsigned char* bytes, size_t count) {
  WriteResult result;
  result.file = ScopedKernelHandle(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, GetObjectSecurity(),
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!result.file.IsValid()) {
    result.outcome = Win32Result::Failure(GetLastError());
    return result;
  }
  while (count > 0) {
    DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(result.file.Get(), bytes, chunk, &written, nullptr)) {
      result.outcome = Win32Result::Failure(GetLastError());
      return result;
    }
    // A write that makes no progress would loop for ever.
    if (written == 0) {
      result.outcome = Win32Result::Failure(ERROR_WRITE_FAULT);
      return result;
    }
    bytes += written;
    count -= written;
  }
  result.outcome = Win32Result::Success();
  return result;
}

}  // namespace bastion
