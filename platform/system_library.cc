#include "platform/system_library.h"

#include <wchar.h>

#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"

namespace bastion {

namespace {

// Bounded append into a MAX_PATH buffer; false when the text does not fit.
bool Append(wchar_t* buffer, const wchar_t* text) {
  size_t used = wcslen(buffer);
  size_t add = wcslen(text);
  if (used + add + 1 > MAX_PATH) return false;
  wmemcpy(buffer + used, text, add + 1);
  return true;
}

}  // namespace

SystemLibrary::SystemLibrary(const wchar_t* fileName, UINT(WINAPI* systemFolder)(LPWSTR, UINT)) {
  wchar_t path[MAX_PATH] = {};
  UINT length = systemFolder(path, MAX_PATH);
  // A buffer too small is answered with the size needed, and the buffer
  // left unset: loading "\<name>" would search the drive root.
  if (length >= MAX_PATH) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  if (length == 0 || length >= MAX_PATH) {
    trace::Message(SystemLibraryTrace::kSystemFolderNotObtained, trace::kComponents, GetLastError());
    path[0] = L'\0';
  } else if (!Append(path, L"\\") || !Append(path, fileName)) {
    trace::Message(SystemLibraryTrace::kPathTooLong, trace::kComponents, GetLastError());
    path[0] = L'\0';
  }
  if (path[0] == L'\0') return;
  module_ = LoadLibraryW(path);
  if (module_ == nullptr) trace::Message(SystemLibraryTrace::kNotLoaded, trace::kComponents, GetLastError());
}

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr && !FreeLibrary(module_))
    trace::Message(SystemLibraryTrace::kNotReleased, trace::kComponents, GetLastError());
}

bool SystemLibrary::IsLoaded() const {
  wchar_t name[MAX_PATH];
  return module_ != nullptr && GetModuleFileNameW(module_, name, MAX_PATH) != 0;
}

FARPROC SystemLibrary::Bind(const char* exportName) const {
  FARPROC fn = GetProcAddress(module_, exportName);
  if (fn == nullptr)
    trace::Message(SystemLibraryTrace::kFunctionNotFound, trace::kComponents, exportName, GetLastError());
  return fn;
}

}  // namespace bastion
