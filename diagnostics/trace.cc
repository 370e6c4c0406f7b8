#include "diagnostics/trace.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "platform/object_security.h"

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


namespace {

constexpr wchar_t kSessionName[] = L"BastionSetup";
constexpr wchar_t kLogFileName[] = L"LogFiles\\WMI\\BastionSetup.etl";
constexpr UCHAR kLevelInformation = TRACE_LEVEL_INFORMATION;
constexpr ULONGLONG kAllKeywords = 0xFFFF;

// Appends within a buffer of `capacity` characters (terminator included);
// false, with the buffer unchanged, when it does not fit.
bool Append(wchar_t* buffer, size_t capacity, const wchar_t* text) {
  size_t used = wcslen(buffer);
  size_t added = wcslen(text);
  if (used + added + 1 > capacity) return false;
  wmemcpy(buffer + used, text, added + 1);
  return true;
}

}  // namespace

TraceSession::Api TraceSession::SystemApi() {
  return {GetSystemDirectoryW, StartTraceW, EnableTraceEx2, ControlTraceW};
}

void TraceSession::FreeBlock::operator()(EVENT_TRACE_PROPERTIES* block) const { free(block); }

EVENT_TRACE_PROPERTIES* AllocateSessionProperties(const wchar_t* logFile) {
  size_t pathBytes = (wcslen(logFile) + 1) * sizeof(wchar_t);
  size_t total = kLogFileNameOffset + pathBytes;
  auto* block = static_cast<EVENT_TRACE_PROPERTIES*>(malloc(total));
  if (block == nullptr) return nullptr;
  memset(block, 0, total);
  block->Wnode.BufferSize = static_cast<ULONG>(total);
  block->LoggerNameOffset = kLoggerNameOffset;
  block->LogFileNameOffset = kLogFileNameOffset;
  memcpy(reinterpret_cast<char*>(block) + kLogFileNameOffset, logFile, pathBytes);
  return block;
}

TraceSession::TraceSession() : TraceSession(SystemApi()) {}

TraceSession::TraceSession(const Api& api) : api_(api) {
  wchar_t logFile[MAX_PATH] = {};
  UINT length = api_.getSystemDirectory(logFile, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  if (!Append(logFile, MAX_PATH, L"\\") || !Append(logFile, MAX_PATH, kLogFileName)) return;

  // Truncated at every start, with our descriptor when the file is new. The
  // descriptor is built on first use, so the session, which starts first,
  // does not depend on the start-up order for it.
  HANDLE file = CreateFileW(logFile, GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            GetObjectSecurity(), CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

  properties_.reset(AllocateSessionProperties(logFile));
  if (!properties_) return;

  // A session of this name left running by an earlier run makes this fail; it
  // is then neither used nor stopped.
  TRACEHANDLE handle = 0;
  status_ = api_.startTrace(&handle, kSessionName, properties_.get());
  if (status_ != ERROR_SUCCESS) return;
  sessionHandle_ = handle;

  status_ = api_.enableTrace(sessionHandle_, &kProviderGuid, EVENT_CONTROL_CODE_ENABLE_PROVIDER,
                             kLevelInformation, kAllKeywords, 0, 0, nullptr);
  if (status_ != ERROR_SUCCESS) providerEnabled_ = false;
}

TraceSession::~TraceSession() {
  if (sessionHandle_ == 0) return;
  if (providerEnabled_) {
    status_ = api_.enableTrace(sessionHandle_, &kProviderGuid,
                               EVENT_CONTROL_CODE_DISABLE_PROVIDER, kLevelInformation, 0, 0, 0,
                               nullptr);
  }
  status_ = api_.controlTrace(sessionHandle_, kSessionName, properties_.get(),
                              EVENT_TRACE_CONTROL_STOP);
}

}  // namespace trace

}  // namespace bastion
