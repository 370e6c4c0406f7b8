#include "diagnostics/file_log.h"

#include <windows.h>

#include <shlobj.h>

#include <spdlog/spdlog.h>

#include "diagnostics/log_sink.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"

namespace bastion {

std::string LogAnchor(long result, const char* folder) {
  if (!FAILED(result)) return folder;
  trace::Message(ProcedureTrace::kAppDataFolderNotFound, trace::kLogSetup, static_cast<ULONG>(result));
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
