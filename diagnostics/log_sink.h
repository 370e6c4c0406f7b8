// A size-rotating, mutex-guarded file sink for the logging library whose
// files are opened by our LogFile (so LocalSystem runs get the log's own
// descriptor on the first file and on every fresh file after a rotation).
#ifndef BASTION_DIAGNOSTICS_LOG_SINK_H_
#define BASTION_DIAGNOSTICS_LOG_SINK_H_

#include <spdlog/sinks/base_sink.h>

#include <mutex>
#include <string>

#include "diagnostics/log_file.h"
#include "diagnostics/log_security.h"

namespace bastion {

class RotatingLogSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  // Opens (appends to) `basePath` below `anchor` at once; raises the
  // library's error when it cannot be opened after the retries. Keeps
  // `maxFiles` rotated files.
  RotatingLogSink(std::string anchor, std::string basePath, size_t maxSize, size_t maxFiles,
                  LogFile::SecuritySource security = LogSecurityAttributes);

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override;
  void flush_() override;

 private:
  // tiny.(n-1).log becomes tiny.n.log down to tiny.log becoming tiny.1.log,
  // then a fresh tiny.log is opened. Renames go through the log's checked
  // handles (LogFile::Rename): a link is neither renamed nor deleted.
  void Rotate();

  std::string anchor_;
  std::string basePath_;
  size_t maxSize_;
  size_t maxFiles_;
  size_t currentSize_ = 0;
  LogFile file_;
};

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_LOG_SINK_H_
