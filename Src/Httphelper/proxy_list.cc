#include "Src/Httphelper/proxy_list.h"

namespace bastion {

uint32_t ChooseSession(const SessionEntry* sessions, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (sessions[i].state == 0) return sessions[i].id;
  return 0;
}

bool IsRecoverableAutoProxyError(uint32_t error) {
  switch (error) {
    case 0:
    case 87:     // ERROR_INVALID_PARAMETER
    case 12002:  // ERROR_WINHTTP_TIMEOUT
    case 12006:  // ERROR_WINHTTP_UNRECOGNIZED_SCHEME
    case 12015:  // ERROR_WINHTTP_LOGIN_FAILURE
    case 12017:  // ERROR_WINHTTP_OPERATION_CANCELLED
    case 12166:  // ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT
    case 12167:  // ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT
    case 12178:  // ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR
    case 12180:  // ERROR_WINHTTP_AUTODETECTION_FAILED
      return true;
    default:
      return false;
  }
}

bool AllowsProxyFailOver(uint32_t error) {
  switch (error) {
    case 12002:  // ERROR_WINHTTP_TIMEOUT
    case 12007:  // ERROR_WINHTTP_NAME_NOT_RESOLVED
    case 12029:  // ERROR_WINHTTP_CANNOT_CONNECT
    case 12030:  // ERROR_WINHTTP_CONNECTION_ERROR
      return true;
    default:
      return false;
  }
}

bool IsProxySeparator(wchar_t c) { return c == L';' || c == L' ' || (c >= 9 && c <= 13); }

const wchar_t* NextProxyEntry(const wchar_t* cursor) {
  if (cursor == nullptr) return nullptr;
  while (*cursor != L'\0' && !IsProxySeparator(*cursor)) ++cursor;
  while (*cursor != L'\0' && IsProxySeparator(*cursor)) ++cursor;
  return *cursor == L'\0' ? nullptr : cursor;
}

}  // namespace bastion
