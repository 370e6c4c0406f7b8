// Must not compile: fmt's floating-point code is compiled out of the stub,
// so a float in a log line would print nothing (FloatLogIsRefused).
#include "diagnostics/file_log.h"

void LogsAFloat() {
  BASTION_LOG(spdlog::level::info, "LogsAFloat", "ratio {}", 0.5);
}
