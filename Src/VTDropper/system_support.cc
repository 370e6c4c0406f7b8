#include "Src/VTDropper/system_support.h"

#include "platform/system_library.h"

namespace bastion {

bool CheckSystemSupport() {
  static SystemLibrary kernel32(L"kernel32.dll");
  if (!kernel32.IsLoaded()) return false;
  auto* setDefaultDllDirectories =
      kernel32.Bind<decltype(SetDefaultDllDirectories)>("SetDefaultDllDirectories");
  if (setDefaultDllDirectories == nullptr) {
    MessageBoxA(nullptr, "Bastion Setup requires KB2533623", "Error", 0);
    return false;
  }
  return setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;
}

}  // namespace bastion
