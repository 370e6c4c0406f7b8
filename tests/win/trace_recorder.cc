#include "win/trace_recorder.h"

#include <string.h>

#include <mutex>

using namespace bastion;

namespace {

std::mutex g_mutex;
std::vector<TraceRecord> g_records;

void Capture(const GUID& guid, USHORT number, ULONG flag, const trace::Argument* args, size_t count) {
  TraceRecord record{guid, number, flag, {}};
  for (size_t i = 0; i < count; ++i)
    record.args.emplace_back(static_cast<const char*>(args[i].data), args[i].size);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_records.push_back(std::move(record));
}

}  // namespace

ULONG TraceRecord::Value(size_t i) const {
  ULONG v = 0;
  if (i < args.size() && args[i].size() == sizeof(v)) memcpy(&v, args[i].data(), sizeof(v));
  return v;
}

std::wstring TraceRecord::Wide(size_t i) const {
  if (i >= args.size() || args[i].size() < sizeof(wchar_t)) return {};
  return std::wstring(reinterpret_cast<const wchar_t*>(args[i].data()),
                      args[i].size() / sizeof(wchar_t) - 1);
}

std::string TraceRecord::Narrow(size_t i) const {
  if (i >= args.size() || args[i].empty()) return {};
  return args[i].substr(0, args[i].size() - 1);
}

TraceRecorder::TraceRecorder(ULONG flags) {
  Clear();
  trace::RegisterProvider();
  trace::testing::Block().flags = flags;
  trace::testing::SetCaptureSink(Capture);
}

TraceRecorder::~TraceRecorder() {
  trace::testing::SetCaptureSink(nullptr);
  trace::UnregisterProviders();
}

const std::vector<TraceRecord>& TraceRecorder::records() const { return g_records; }

std::vector<USHORT> TraceRecorder::Numbers(const GUID& guid) const {
  std::vector<USHORT> numbers;
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const TraceRecord& r : g_records)
    if (IsEqualGUID(r.guid, guid)) numbers.push_back(r.number);
  return numbers;
}

void TraceRecorder::Clear() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_records.clear();
}
