#include "diagnostics/file_log.h"

#include <windows.h>

#include <shlobj.h>
#include <stdio.h>

#include <cerrno>

#include "diagnostics/log_paths.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"

namespace bastion {

namespace {

constexpr DWORD kRenameRetryMs = 100;

[[noreturn]] void RaiseOpenFailure(const std::string& path) {
  spdlog::throw_spdlog_ex("Failed opening file " + path + " for writing", errno);
}

}  // namespace

RotatingLogSink::RotatingLogSink(std::string anchor, std::string basePath, size_t maxSize,
                                 size_t maxFiles, LogFile::SecuritySource security)
    : anchor_(std::move(anchor)),
      basePath_(std::move(basePath)),
      maxSize_(maxSize),
      maxFiles_(maxFiles),
      file_(security) {
  if (maxSize_ == 0) spdlog::throw_spdlog_ex("rotating sink constructor: max_size arg cannot be zero");
  if (!file_.Open(anchor_, basePath_, false)) RaiseOpenFailure(file_.path());
  currentSize_ = file_.Size();
}

void RotatingLogSink::sink_it_(const spdlog::details::log_msg& message) {
  spdlog::memory_buf_t formatted;
  formatter_->format(message, formatted);
  size_t newSize = currentSize_ + formatted.size();
  if (newSize > maxSize_) {
    file_.Flush();
    // A record larger than the limit still goes into a file of its own
    // rather than rotating an empty file away.
    if (file_.Size() > 0) {
      Rotate();
      newSize = formatted.size();
    }
  }
  if (!file_.Write(formatted.data(), formatted.size()))
    spdlog::throw_spdlog_ex("Failed writing to file " + file_.path(), errno);
  currentSize_ = newSize;
}

void RotatingLogSink::flush_() {
  if (!file_.Flush()) spdlog::throw_spdlog_ex("Failed flush to file " + file_.path(), errno);
}

void RotatingLogSink::Rotate() {
  file_.Close();
  for (size_t index = maxFiles_; index > 0; --index) {
    std::string source = RotatedLogName(file_.name(), index - 1);
    std::string target = RotatedLogName(file_.name(), index);
    if (file_.Rename(source, target) == LogRename::kFailed) {
      // Another process (an antivirus scan, a reader) may hold the file for
      // a moment: try once more, then keep logging into the current file.
      Sleep(kRenameRetryMs);
      if (file_.Rename(source, target) == LogRename::kFailed) {
        if (!file_.Reopen(true)) RaiseOpenFailure(file_.path());
        currentSize_ = 0;
        spdlog::throw_spdlog_ex("rotating_file_sink: failed renaming " + source + " to " + target,
                                errno);
      }
    }
  }
  if (!file_.Reopen(true)) RaiseOpenFailure(file_.path());
}

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
