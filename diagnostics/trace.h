// Numbered trace messages of the program's own ETW provider. A message has
// no text: a formatter turns (message GUID, number, typed arguments) into text
// with the .tmf files in diagnostics/.
#ifndef BASTION_DIAGNOSTICS_TRACE_H_
#define BASTION_DIAGNOSTICS_TRACE_H_

#include <windows.h>

#include <evntrace.h>

#include <memory>

namespace bastion {

namespace trace {

// Enable-flag bits of the trace points.
enum Flag : ULONG {
  kSteps = 0x1,       // the installation procedure's stages
  kComponents = 0x2,  // download, impersonation, binding, verification
  kLogSetup = 0x4,    // failures of the log set-up
};

// {D1DA0264-52E7-4CA2-870E-C4F5D03C49DD}
inline constexpr GUID kProviderGuid = {0xD1DA0264, 0x52E7, 0x4CA2, {0x87, 0x0E, 0xC4, 0xF5, 0xD0, 0x3C, 0x49, 0xDD}};

// The provider's control block; one per process.
struct ControlBlock {
  ControlBlock* next = nullptr;
  TRACEHANDLE registration = 0;
  TRACEHANDLE logger = 0;
  ULONG flagCount = 1;
  UCHAR level = 0;
  ULONG flags = 0;
  GUID controlGuid = kProviderGuid;
};

// Points the control pointer at the block and registers the provider; the
// system then calls the control callback for a session that already enabled it.
void RegisterProvider();
// Unregisters every registered block and unsets the control pointer.
void UnregisterProviders();
// What the system calls when a session enables or disables the provider.
ULONG WINAPI ControlCallback(WMIDPREQUESTCODE requestCode, PVOID context, ULONG* bufferSize,
                             PVOID buffer);

// One overload per argument shape; a null string records "NULL".
void Message(const GUID& guid, USHORT number, ULONG flag);
void Message(const GUID& guid, USHORT number, ULONG flag, ULONG value);
void Message(const GUID& guid, USHORT number, ULONG flag, const wchar_t* text);
void Message(const GUID& guid, USHORT number, ULONG flag, const char* text);
void Message(const GUID& guid, USHORT number, ULONG flag, ULONG value, const wchar_t* text);
void Message(const GUID& guid, USHORT number, ULONG flag, const wchar_t* text, ULONG value);
void Message(const GUID& guid, USHORT number, ULONG flag, const char* text, ULONG value);
void Message(const GUID& guid, USHORT number, ULONG flag, ULONG a, ULONG b, ULONG c, ULONG d,
             ULONG e);

// The message GUID of a set of named messages; diagnostics/trace_ids.h
// specialises it for each set with a static constexpr GUID `value`.
template <typename Messages>
struct MessageGuid;

// A named message of diagnostics/trace_ids.h, sent under its set's GUID.
template <typename Messages, typename... Args>
  requires requires { MessageGuid<Messages>::value; }
void Message(Messages message, ULONG flag, Args... args) {
  Message(MessageGuid<Messages>::value, static_cast<USHORT>(message), flag, args...);
}

// ETW writes nothing where there is no session (Wine has none), so tests
// install a sink that receives each message instead of TraceMessage.
struct Argument {
  const void* data;
  size_t size;
};
using CaptureSink = void (*)(const GUID& guid, USHORT number, ULONG flag, const Argument* args,
                             size_t count);
namespace testing {
void SetCaptureSink(CaptureSink sink);
ControlBlock& Block();
ControlBlock* ControlPointer();
}  // namespace testing

// The program's own ETW session "BastionSetup": started while the process
// starts (before wmain), it writes LogFiles\WMI\BastionSetup.etl under the
// system folder with our provider enabled, and it is stopped at exit.
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

#endif  // BASTION_DIAGNOSTICS_TRACE_H_
