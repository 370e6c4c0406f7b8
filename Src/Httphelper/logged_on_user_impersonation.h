// Makes the calling thread act as the user of the active terminal session for
// the life of the object. The session service grants that user's token only
// to LocalSystem; elsewhere the thread simply keeps its own context.
#ifndef BASTION_SRC_HTTPHELPER_LOGGED_ON_USER_IMPERSONATION_H_
#define BASTION_SRC_HTTPHELPER_LOGGED_ON_USER_IMPERSONATION_H_

#include <windows.h>

#include <wtsapi32.h>

#include "platform/system_library.h"

namespace bastion {

class LoggedOnUserImpersonation {
 public:
  LoggedOnUserImpersonation();
  ~LoggedOnUserImpersonation();
  LoggedOnUserImpersonation(const LoggedOnUserImpersonation&) = delete;
  LoggedOnUserImpersonation& operator=(const LoggedOnUserImpersonation&) = delete;

  bool impersonating() const { return impersonating_; }

 private:
  HANDLE userToken_ = nullptr;
  HANDLE impersonationToken_ = nullptr;
  SystemLibrary wtsapi_;
  decltype(WTSEnumerateSessionsW)* enumerateSessions_ = nullptr;
  decltype(WTSFreeMemory)* freeMemory_ = nullptr;
  decltype(WTSQueryUserToken)* queryUserToken_ = nullptr;
  bool impersonating_ = false;
};

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_LOGGED_ON_USER_IMPERSONATION_H_
