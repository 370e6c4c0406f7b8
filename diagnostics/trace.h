// Numbered trace messages of the program's own ETW provider. A message has
// no text: a formatter turns (message GUID, number, typed arguments) into text
// with the .tmf files in diagnostics/.
#ifndef BASTION_DIAGNOSTICS_TRACE_H_
#define BASTION_DIAGNOSTICS_TRACE_H_

#include <windows.h>

#include <evntrace.h>

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

}  // namespace trace

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_TRACE_H_
