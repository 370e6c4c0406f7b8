#include "diagnostics/trace.h"

#include <string.h>
#include <wchar.h>

namespace bastion {

namespace trace {
namespace {

ControlBlock g_block;
// Names the block while the provider is registered; read without a lock by
// trace points on any thread.
ControlBlock* volatile g_control = nullptr;
CaptureSink g_capture = nullptr;

constexpr ULONG kMessageOptions = TRACE_MESSAGE_SEQUENCE | TRACE_MESSAGE_GUID |
                                  TRACE_MESSAGE_TIMESTAMP | TRACE_MESSAGE_SYSTEMINFO;
static_assert(kMessageOptions == 43);

bool Enabled(ULONG flag) {
  ControlBlock* block = g_control;
  return block == &g_block && (block->flags & flag) != 0;
}

Argument Value(const ULONG& value) { return {&value, sizeof(ULONG)}; }
Argument Text(const wchar_t* text) {
  if (text == nullptr) return {L"NULL", sizeof(L"NULL")};
  return {text, (wcslen(text) + 1) * sizeof(wchar_t)};
}
Argument Text(const char* text) {
  if (text == nullptr) return {"NULL", sizeof("NULL")};
  return {text, strlen(text) + 1};
}

// TraceMessage takes its (address, length) pairs as varargs ended by a null
// address, so each argument count gets its own call.
void Write(const GUID& guid, USHORT number, ULONG flag, const Argument* a, size_t count) {
  if (!Enabled(flag)) return;
  if (g_capture != nullptr) {
    g_capture(guid, number, flag, a, count);
    return;
  }
  TRACEHANDLE logger = g_block.logger;
  GUID messageGuid = guid;
  switch (count) {
    case 0:
      TraceMessage(logger, kMessageOptions, &messageGuid, number, nullptr);
      break;
    case 1:
      TraceMessage(logger, kMessageOptions, &messageGuid, number, a[0].data, a[0].size, nullptr);
      break;
    case 2:
      TraceMessage(logger, kMessageOptions, &messageGuid, number, a[0].data, a[0].size, a[1].data,
                   a[1].size, nullptr);
      break;
    case 5:
      TraceMessage(logger, kMessageOptions, &messageGuid, number, a[0].data, a[0].size, a[1].data,
                   a[1].size, a[2].data, a[2].size, a[3].data, a[3].size, a[4].data, a[4].size,
                   nullptr);
      break;
  }
}

}  // namespace

void RegisterProvider() {
  g_block = ControlBlock{};
  g_control = &g_block;
  TRACE_GUID_REGISTRATION registration = {&kProviderGuid, nullptr};
  RegisterTraceGuidsW(ControlCallback, &g_block, &kProviderGuid, 1, &registration, nullptr,
                      nullptr, &g_block.registration);
}

void UnregisterProviders() {
  for (ControlBlock* block = g_control; block != nullptr; block = block->next) {
    if (block->registration != 0) {
      UnregisterTraceGuids(block->registration);
      block->registration = 0;
    }
  }
  g_control = nullptr;
}

ULONG WINAPI ControlCallback(WMIDPREQUESTCODE requestCode, PVOID context, ULONG* bufferSize,
                             PVOID buffer) {
  auto* block = static_cast<ControlBlock*>(context);
  ULONG result = ERROR_SUCCESS;
  if (requestCode == WMI_ENABLE_EVENTS) {
    TRACEHANDLE logger = GetTraceLoggerHandle(buffer);
    block->logger = logger;
    block->level = GetTraceEnableLevel(logger);
    block->flags = GetTraceEnableFlags(logger);
  } else if (requestCode == WMI_DISABLE_EVENTS) {
    block->logger = 0;
    block->level = 0;
    block->flags = 0;
  } else {
    result = ERROR_INVALID_PARAMETER;
  }
  *bufferSize = 0;
  return result;
}

void Message(const GUID& guid, USHORT number, ULONG flag) { Write(guid, number, flag, nullptr, 0); }

void Message(const GUID& guid, USHORT number, ULONG flag, ULONG value) {
  Argument a[] = {Value(value)};
  Write(guid, number, flag, a, 1);
}

void Message(const GUID& guid, USHORT number, ULONG flag, const wchar_t* text) {
  Argument a[] = {Text(text)};
  Write(guid, number, flag, a, 1);
}

void Message(const GUID& guid, USHORT number, ULONG flag, const char* text) {
  Argument a[] = {Text(text)};
  Write(guid, number, flag, a, 1);
}

void Message(const GUID& guid, USHORT number, ULONG flag, ULONG value, const wchar_t* text) {
  Argument a[] = {Value(value), Text(text)};
  Write(guid, number, flag, a, 2);
}

void Message(const GUID& guid, USHORT number, ULONG flag, const wchar_t* text, ULONG value) {
  Argument a[] = {Text(text), Value(value)};
  Write(guid, number, flag, a, 2);
}

void Message(const GUID& guid, USHORT number, ULONG flag, const char* text, ULONG value) {
  Argument a[] = {Text(text), Value(value)};
  Write(guid, number, flag, a, 2);
}

void Message(const GUID& guid, USHORT number, ULONG flag, ULONG a, ULONG b, ULONG c, ULONG d,
             ULONG e) {
  Argument args[] = {Value(a), Value(b), Value(c), Value(d), Value(e)};
  Write(guid, number, flag, args, 5);
}

namespace testing {
void SetCaptureSink(CaptureSink sink) { g_capture = sink; }
ControlBlock& Block() { return g_block; }
ControlBlock* ControlPointer() { return g_control; }
}  // namespace testing

}  // namespace trace

}  // namespace bastion
