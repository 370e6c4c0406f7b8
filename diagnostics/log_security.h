// Security of the log's folders and files: when the process runs as
// LocalSystem they get an inheritable descriptor of their own (read for
// Everyone, full access for Administrators); otherwise the defaults.
#ifndef BASTION_DIAGNOSTICS_LOG_SECURITY_H_
#define BASTION_DIAGNOSTICS_LOG_SECURITY_H_

#include <windows.h>

namespace bastion {

struct LogSecurity {
  LogSecurity();
  ~LogSecurity();
  LogSecurity(const LogSecurity&) = delete;
  LogSecurity& operator=(const LogSecurity&) = delete;

  bool runsAsLocalSystem = false;
  // Carries a descriptor only when runsAsLocalSystem and it could be built.
  SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// The process-wide object, built on first use and destroyed at exit.
const LogSecurity& GetLogSecurity();

// The attributes to create log folders and files with, or null for the
// plain behaviour.
const SECURITY_ATTRIBUTES* LogSecurityAttributes();

// Whether the user of `token` (opened with TOKEN_QUERY) is S-1-5-18.
bool TokenUserIsLocalSystem(HANDLE token);

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_LOG_SECURITY_H_
