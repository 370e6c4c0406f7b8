#include "Src/Httphelper/temporary_file.h"

#include <rpc.h>

#include "Src/Httphelper/uuid_name.h"
#include "platform/object_security.h"

TemporaryFile::TemporaryFile(const wchar_t* folderSpecification) {
  wchar_t expanded[MAX_PATH] = {};
  DWORD size = ExpandEnvironmentStringsW(folderSpecification, expanded, MAX_PATH);
  // A size above the buffer means the text did not fit: the buffer then holds
  // no usable folder, so it counts as a failed expansion.
  if (size == 0 || size > MAX_PATH)
    folder_ = L"C:\\Windows\\Temp";
  else
    folder_ = expanded;
}

TemporaryFile::~TemporaryFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

void TemporaryFile::Create() {
  UUID uuid;
  if (UuidCreate(&uuid) != RPC_S_OK) return;
  UuidFields fields{uuid.Data1, uuid.Data2, uuid.Data3, {}};
  for (int i = 0; i < 8; ++i) fields.data4[i] = uuid.Data4[i];
  wchar_t text[kUuidNameLength + 1];
  FormatUuidName(fields, text);
  name_ = text;
  path_ = folder_ + L"\\" + name_;
  HANDLE handle = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, GetObjectSecurity(), CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    lastError_ = GetLastError();
    return;
  }
  handle_ = handle;
  created_ = true;
}
