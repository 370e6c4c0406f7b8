// The text log: the default logger "root" writing to
// %LOCALAPPDATA%\Veltrion\BastionClientUI\tiny.log, rotated at 20 MiB with 5
// older files kept, and BASTION_LOG, which writes to it.
#ifndef BASTION_DIAGNOSTICS_FILE_LOG_H_
#define BASTION_DIAGNOSTICS_FILE_LOG_H_

#include <stddef.h>

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <mutex>
#include <string>

#include "diagnostics/log_file.h"
#include "diagnostics/no_float_format.h"

namespace bastion {

// Logging through the default logger with an explicit function name, so that
// the line's "[%!]" shows the name a reader looks for (qualified names such as
// "HTTPHelper::DownloadFile" included, which __FUNCTION__ does not give).
// Format strings are narrow and wide text goes in through WideToUtf8: fmt's
// wide-character code would add about 20 KB to the exe.
#define BASTION_LOG(level, function, ...)                                                   \
  spdlog::default_logger_raw()->log(spdlog::source_loc{__FILE__, __LINE__, function}, level, \
                                    __VA_ARGS__)


inline constexpr char kLogPattern[] = "%Y-%m-%d %T.%e t:%-5t %-10!n [%-5!l] %v [%!]";
inline constexpr size_t kLogMaxSize = 20 * 1024 * 1024;
inline constexpr size_t kLogMaxFiles = 5;
// Below the local application-data folder.
inline constexpr char kLogRelativePath[] = "Veltrion\\BastionClientUI\\tiny.log";

// Sets the log up at its usual place. Never raises: when the file cannot be
// opened, or is not where it belongs (a link or a redirected folder on the
// way), records keep going to the library's default console logger.
void SetUpFileLog();

// The same below `anchor` instead of the local application-data folder,
// rotating at `maxSize` bytes.
void SetUpFileLogAt(const std::string& anchor, size_t maxSize);

// The folder the log lives below, from the shell's answer `result` and the
// `folder` it gave. A failure code is traced (message 11) and gives an empty
// folder, which no log is opened below: whatever the query left in `folder`
// is no folder the system vouched for.
std::string LogAnchor(long result, const char* folder);

// A size-rotating, mutex-guarded file sink for the logging library whose
// files are opened by our LogFile (so LocalSystem runs get the log's own
// descriptor on the first file and on every fresh file after a rotation).
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

#endif  // BASTION_DIAGNOSTICS_FILE_LOG_H_
