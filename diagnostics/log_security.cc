#include "diagnostics/log_security.h"

#include <accctrl.h>

#include "platform/object_security.h"

namespace bastion {

namespace {

bool ProcessRunsAsLocalSystem() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  bool result = TokenUserIsLocalSystem(token);
  CloseHandle(token);
  return result;
}

}  // namespace

bool TokenUserIsLocalSystem(HANDLE token) {
  // 76 bytes hold the record and any SID up to 15 sub-authorities on i686;
  // LocalSystem's SID is far smaller on either width.
  alignas(TOKEN_USER) BYTE buffer[76];
  DWORD length = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &length)) return false;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID localSystem = nullptr;
  if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                &localSystem))
    return false;
  bool equal = EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, localSystem) != FALSE;
  FreeSid(localSystem);
  return equal;
}

LogSecurity::LogSecurity() : runsAsLocalSystem(ProcessRunsAsLocalSystem()) {
  if (runsAsLocalSystem)
    attributes.lpSecurityDescriptor = BuildAccessDescriptor(SUB_CONTAINERS_AND_OBJECTS_INHERIT);
}

LogSecurity::~LogSecurity() { FreeAccessDescriptor(attributes.lpSecurityDescriptor); }

const LogSecurity& GetLogSecurity() {
  static const LogSecurity security;
  return security;
}

const SECURITY_ATTRIBUTES* LogSecurityAttributes() {
  const LogSecurity& security = GetLogSecurity();
  return security.attributes.lpSecurityDescriptor != nullptr ? &security.attributes : nullptr;
}

}  // namespace bastion
