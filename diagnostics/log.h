// Logging through the default logger with an explicit function name, so that
// the line's "[%!]" shows the name a reader looks for (qualified names such as
// "HTTPHelper::DownloadFile" included, which __FUNCTION__ does not give).
#ifndef BASTION_DIAGNOSTICS_LOG_H_
#define BASTION_DIAGNOSTICS_LOG_H_

#include <spdlog/spdlog.h>

namespace bastion {

#define BASTION_LOG(level, function, ...)                                                   \
  spdlog::default_logger_raw()->log(spdlog::source_loc{__FILE__, __LINE__, function}, level, \
                                    __VA_ARGS__)

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_LOG_H_
