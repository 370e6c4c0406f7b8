// Records trace messages in place of ETW, which writes nothing under Wine.
#ifndef BASTION_TESTS_WIN_TRACE_RECORDER_H_
#define BASTION_TESTS_WIN_TRACE_RECORDER_H_

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"

struct TraceRecord {
  GUID guid;
  USHORT number;
  ULONG flag;
  std::vector<std::string> args;  // raw bytes of each argument

  ULONG Value(size_t i) const;
  std::wstring Wide(size_t i) const;    // without the terminator
  std::string Narrow(size_t i) const;   // without the terminator
};

// Registers the provider, enables `flags` in its control block as the control
// callback would, and records every message until destroyed.
class TraceRecorder {
 public:
  explicit TraceRecorder(ULONG flags = 0xFFFF);
  ~TraceRecorder();
  TraceRecorder(const TraceRecorder&) = delete;
  TraceRecorder& operator=(const TraceRecorder&) = delete;

  const std::vector<TraceRecord>& records() const;
  // The message numbers recorded under one message GUID, in order.
  std::vector<USHORT> Numbers(const GUID& guid) const;
  // The named messages recorded of one set of trace_ids.h, in order.
  template <typename Messages>
  std::vector<Messages> Named() const {
    std::vector<Messages> named;
    for (USHORT number : Numbers(bastion::trace::MessageGuid<Messages>::value)) named.push_back(Messages{number});
    return named;
  }
  void Clear();
};

// Assertions print a named message as its number; found by argument-
// dependent lookup, so it lives beside the message sets.
namespace bastion {
template <typename Messages>
  requires requires { trace::MessageGuid<Messages>::value; }
std::ostream& operator<<(std::ostream& out, Messages message) {
  return out << static_cast<unsigned>(message);
}
}  // namespace bastion

#endif  // BASTION_TESTS_WIN_TRACE_RECORDER_H_
