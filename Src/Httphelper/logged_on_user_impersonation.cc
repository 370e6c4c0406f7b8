#include "Src/Httphelper/logged_on_user_impersonation.h"

#include <vector>

#include "Src/Httphelper/session_choice.h"
#include "diagnostics/trace.h"

namespace bastion {

namespace {

// {81C058A3-29C4-36FC-FE7C-2D1744F52835}
constexpr GUID kTraceGuid = {0x81C058A3, 0x29C4, 0x36FC, {0xFE, 0x7C, 0x2D, 0x17, 0x44, 0xF5, 0x28, 0x35}};

}  // namespace

LoggedOnUserImpersonation::LoggedOnUserImpersonation() : wtsapi_(L"Wtsapi32.dll") {
  trace::Message(kTraceGuid, 10, trace::kComponents);
  bool bound = BindExport(wtsapi_, "WTSEnumerateSessionsW", enumerateSessions_);
  bound = BindExport(wtsapi_, "WTSFreeMemory", freeMemory_) && bound;
  bound = BindExport(wtsapi_, "WTSQueryUserToken", queryUserToken_) && bound;
  if (!bound) return;

  trace::Message(kTraceGuid, 11, trace::kComponents);
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  if (!enumerateSessions_(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
    trace::Message(kTraceGuid, 12, trace::kComponents, GetLastError());
    return;
  }
  std::vector<SessionEntry> entries;
  for (DWORD i = 0; i < count; ++i)
    entries.push_back({sessions[i].SessionId, static_cast<uint32_t>(sessions[i].State)});
  freeMemory_(sessions);
  ULONG session = ChooseSession(entries.data(), entries.size());
  trace::Message(kTraceGuid, 13, trace::kComponents);

  if (!queryUserToken_(session, &userToken_)) {
    userToken_ = nullptr;
    trace::Message(kTraceGuid, 14, trace::kComponents, GetLastError());
    return;
  }
  if (!DuplicateTokenEx(userToken_, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                        TokenImpersonation, &impersonationToken_)) {
    impersonationToken_ = nullptr;
    trace::Message(kTraceGuid, 15, trace::kComponents, GetLastError());
    return;
  }
  if (ImpersonateLoggedOnUser(impersonationToken_)) {
    impersonating_ = true;
    trace::Message(kTraceGuid, 17, trace::kComponents);
  } else {
    trace::Message(kTraceGuid, 16, trace::kComponents, GetLastError());
  }
}

LoggedOnUserImpersonation::~LoggedOnUserImpersonation() {
  // A thread that could not revert may still be acting through the tokens,
  // so they are released only after a successful revert.
  if (RevertToSelf()) {
    if (impersonationToken_ != nullptr) CloseHandle(impersonationToken_);
    if (userToken_ != nullptr) CloseHandle(userToken_);
  }
}

}  // namespace bastion
