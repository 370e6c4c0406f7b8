#include "Src/Httphelper/logged_on_user_impersonation.h"

#include <vector>

#include "Src/Httphelper/session_choice.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"

namespace bastion {

namespace {

}  // namespace

LoggedOnUserImpersonation::LoggedOnUserImpersonation() : wtsapi_(L"Wtsapi32.dll") {
  trace::Message(ImpersonationTrace::kSessionLibraryLoaded, trace::kComponents);
  bool bound = BindExport(wtsapi_, "WTSEnumerateSessionsW", enumerateSessions_);
  bound = BindExport(wtsapi_, "WTSFreeMemory", freeMemory_) && bound;
  bound = BindExport(wtsapi_, "WTSQueryUserToken", queryUserToken_) && bound;
  if (!bound) return;

  trace::Message(ImpersonationTrace::kEnumeratingSessions, trace::kComponents);
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  if (!enumerateSessions_(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
    trace::Message(ImpersonationTrace::kEnumerationFailed, trace::kComponents, GetLastError());
    return;
  }
  std::vector<SessionEntry> entries;
  for (DWORD i = 0; i < count; ++i)
    entries.push_back({sessions[i].SessionId, static_cast<uint32_t>(sessions[i].State)});
  freeMemory_(sessions);
  ULONG session = ChooseSession(entries.data(), entries.size());
  trace::Message(ImpersonationTrace::kSessionChosen, trace::kComponents);

  if (!queryUserToken_(session, &userToken_)) {
    userToken_ = nullptr;
    trace::Message(ImpersonationTrace::kUserTokenNotObtained, trace::kComponents, GetLastError());
    return;
  }
  if (!DuplicateTokenEx(userToken_, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                        TokenImpersonation, &impersonationToken_)) {
    impersonationToken_ = nullptr;
    trace::Message(ImpersonationTrace::kTokenNotDuplicated, trace::kComponents, GetLastError());
    return;
  }
  if (ImpersonateLoggedOnUser(impersonationToken_)) {
    impersonating_ = true;
    trace::Message(ImpersonationTrace::kImpersonating, trace::kComponents);
  } else {
    trace::Message(ImpersonationTrace::kImpersonationFailed, trace::kComponents, GetLastError());
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
