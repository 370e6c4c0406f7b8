#include "diagnostics/trace_session.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "diagnostics/trace.h"
#include "platform/object_security.h"

namespace bastion {

namespace trace {
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
