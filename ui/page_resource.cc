#include "ui/page_resource.h"

namespace bastion {

const wchar_t* LoadProgressPage(HMODULE module) {
  if (module == nullptr) module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(23), MAKEINTRESOURCEW(kProgressPageResource),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return nullptr;
  DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return nullptr;
  const auto* text = static_cast<const wchar_t*>(LockResource(loaded));
  // Used in place as a string: it must end in one NUL unit.
  if (text == nullptr || size < sizeof(wchar_t) || size % sizeof(wchar_t) != 0 ||
      text[size / sizeof(wchar_t) - 1] != L'\0') {
    return nullptr;
  }
  return text;
}

}  // namespace bastion
