#include "Src/VTDropper/directory_chain.h"

#include <windows.h>

#include "Src/VTDropper/path_buffer.h"

bool CreateDirectoryChain(const wchar_t* path) {
  for (const wchar_t* slash = wcschr(path, L'\\'); slash != nullptr; slash = wcschr(slash + 1, L'\\')) {
    PathBuffer prefix;
    if (!prefix.Append(path, static_cast<size_t>(slash - path) + 1)) return false;
    if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return false;
    }
  }
  return true;
}
