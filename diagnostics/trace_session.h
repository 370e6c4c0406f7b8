// The program's own ETW session "BastionSetup": started while the process
// starts (before wmain), it writes LogFiles\WMI\BastionSetup.etl under the
// system folder with our provider enabled, and it is stopped at exit.
#ifndef BASTION_DIAGNOSTICS_TRACE_SESSION_H_
#define BASTION_DIAGNOSTICS_TRACE_SESSION_H_

#include <windows.h>

#include <evntrace.h>

#include <memory>

namespace bastion {

namespace trace {

// The properties block: the system record, 28 bytes for the session name,
// then the log file path.
inline constexpr ULONG kLoggerNameOffset = sizeof(EVENT_TRACE_PROPERTIES);
inline constexpr ULONG kLogFileNameOffset = kLoggerNameOffset + 28;
static_assert(kLoggerNameOffset == 120 && kLogFileNameOffset == 148);

class TraceSession {
 public:
  // The system calls the session makes; tests substitute them because ETW
  // does nothing under Wine.
  struct Api {
    decltype(&GetSystemDirectoryW) getSystemDirectory;
    decltype(&StartTraceW) startTrace;
    decltype(&EnableTraceEx2) enableTrace;
    decltype(&ControlTraceW) controlTrace;
  };
  static Api SystemApi();

  // Starts the session; failures only leave a code in status() or no session.
  TraceSession();
  explicit TraceSession(const Api& api);
  // Disables the provider (if this session enabled it) and stops the session.
  ~TraceSession();
  TraceSession(const TraceSession&) = delete;
  TraceSession& operator=(const TraceSession&) = delete;

  ULONG status() const { return status_; }
  bool providerEnabled() const { return providerEnabled_; }
  TRACEHANDLE sessionHandle() const { return sessionHandle_; }
  const EVENT_TRACE_PROPERTIES* properties() const { return properties_.get(); }

 private:
  struct FreeBlock {
    void operator()(EVENT_TRACE_PROPERTIES* block) const;
  };

  ULONG status_ = 0;
  bool providerEnabled_ = true;
  TRACEHANDLE sessionHandle_ = 0;
  std::unique_ptr<EVENT_TRACE_PROPERTIES, FreeBlock> properties_;
  Api api_;
};

// The block for `logFile`: zero-filled, with only the total size and the two
// name offsets set. Null when it cannot be allocated.
EVENT_TRACE_PROPERTIES* AllocateSessionProperties(const wchar_t* logFile);

}  // namespace trace

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_TRACE_SESSION_H_
