// A system library loaded by full path from the system folder, never through
// the default search order, with its exports bound by name.
#ifndef BASTION_PLATFORM_SYSTEM_LIBRARY_H_
#define BASTION_PLATFORM_SYSTEM_LIBRARY_H_

#include <windows.h>

namespace bastion {

class SystemLibrary {
 public:
  // Never fails as a call; a library that is absent from the system folder
  // leaves a null handle.
  explicit SystemLibrary(const wchar_t* fileName) : SystemLibrary(fileName, GetSystemDirectoryW) {}
  // The same with the system folder asked of `systemFolder`, which answers
  // as GetSystemDirectoryW does.
  SystemLibrary(const wchar_t* fileName, UINT(WINAPI* systemFolder)(LPWSTR, UINT));
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  bool IsLoaded() const;

  // Null when the export is missing; the caller decides what that means.
  FARPROC Bind(const char* exportName) const;

  template <typename Fn>
  Fn* Bind(const char* exportName) const {
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(Bind(exportName)));
  }

  HMODULE handle() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

// Binds `fn` from `library` only when the library is loaded; true when all of
// a group of such calls succeeded, so no partial set is ever called.
template <typename Fn>
bool BindExport(const SystemLibrary& library, const char* exportName, Fn*& fn) {
  fn = library.IsLoaded() ? library.Bind<Fn>(exportName) : nullptr;
  return fn != nullptr;
}

}  // namespace bastion

#endif  // BASTION_PLATFORM_SYSTEM_LIBRARY_H_
