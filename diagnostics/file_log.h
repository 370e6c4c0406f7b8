// Set-up of the text log: the default logger "root" writing to
// %LOCALAPPDATA%\Veltrion\BastionClientUI\tiny.log, rotated at 20 MiB with 5
// older files kept.
#ifndef BASTION_DIAGNOSTICS_FILE_LOG_H_
#define BASTION_DIAGNOSTICS_FILE_LOG_H_

#include <stddef.h>

#include <string>

namespace bastion {

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

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_FILE_LOG_H_
