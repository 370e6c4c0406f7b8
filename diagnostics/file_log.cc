#include "diagnostics/file_log.h"

#include <windows.h>

#include <shlobj.h>

#include <spdlog/spdlog.h>

#include "diagnostics/log_sink.h"
#include "diagnostics/trace.h"

namespace bastion {

namespace {

// {836579AB-A681-3146-B02F-8986F8BE98D8}: shared with the installation
// procedure, whose numbering reserves 11 for the log set-up.
constexpr GUID kTraceGuid = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};

}  // namespace

std::string LogAnchor(long result, const char* folder) {
  if (!FAILED(result)) return folder;
  trace::Message(kTraceGuid, 11, trace::kLogSetup, static_cast<ULONG>(result));
  return {};
}

void SetUpFileLogAt(const std::string& anchor, size_t maxSize) {
  try {
    auto logger = spdlog::create<RotatingLogSink>("root", anchor, std::string(kLogRelativePath),
                                                  maxSize, kLogMaxFiles);
    logger->set_level(spdlog::level::debug);
    spdlog::set_default_logger(logger);
    spdlog::set_pattern(kLogPattern, spdlog::pattern_time_type::local);
    spdlog::set_level(spdlog::level::debug);
    spdlog::flush_on(spdlog::level::debug);
  } catch (...) {
    // Diagnostics never change the run: without the file, records go to the
    // library's console logger.
  }
}

void SetUpFileLog() {
  char folder[MAX_PATH] = {};
  HRESULT result = SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  SetUpFileLogAt(LogAnchor(result, folder), kLogMaxSize);
}

}  // namespace bastion
