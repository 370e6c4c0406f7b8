#include "Src/VTDropper/write_bytes.h"

#include <windows.h>

#include "platform/object_security.h"

WriteResult WriteBytesToFile(const wchar_t* path, const unsigned char* bytes, size_t count) {
  WriteResult result;
  result.file = ScopedHandle(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, GetObjectSecurity(),
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!result.file.IsValid()) return result;
  while (count > 0) {
    DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(result.file.Get(), bytes, chunk, &written, nullptr) || written == 0) return result;
    bytes += written;
    count -= written;
  }
  result.ok = true;
  return result;
}
