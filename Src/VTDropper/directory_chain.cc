#include "Src/VTDropper/directory_chain.h"

#include <windows.h>

#include "platform/path_buffer.h"

namespace bastion {

Win32Result CreateDirectoryChain(const wchar_t* path) {
  for (const wchar_t* slash = wcschr(path, L'\\'); slash != nullptr; slash = wcschr(slash + 1, L'\\')) {
    PathBuffer prefix;
    if (!prefix.Append(path, static_cast<size_t>(slash - path) + 1))
      return Win32Result::Failure(ERROR_FILENAME_EXCED_RANGE);
    if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return Win32Result::Failure(error);
    }
  }
  return Win32Result::Success();
}

}  // namespace bastion
