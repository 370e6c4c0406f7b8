// Set-up of the text log: the default logger "root" writing to
// %LOCALAPPDATA%\Veltrion\BastionClientUI\tiny.log, rotated at 20 MiB with 5
// older files kept.
#ifndef BASTION_DIAGNOSTICS_FILE_LOG_H_
#define BASTION_DIAGNOSTICS_FILE_LOG_H_

#include <stddef.h>

#include <string>

inline constexpr char kLogPattern[] = "%Y-%m-%d %T.%e t:%-5t %-10!n [%-5!l] %v [%!]";
inline constexpr size_t kLogMaxSize = 20 * 1024 * 1024;
inline constexpr size_t kLogMaxFiles = 5;

// Sets the log up at its usual place. Never raises: when the file cannot be
// opened, records keep going to the library's default console logger.
void SetUpFileLog();

// The same at `path`, rotating at `maxSize` bytes.
void SetUpFileLogAt(const std::string& path, size_t maxSize);

// The log's path below the folder the shell answered with `result`; a
// failure code is traced (message 11) and the path is built from `folder`
// as the query left it.
std::string LogPathBelow(long result, const char* folder);

#endif  // BASTION_DIAGNOSTICS_FILE_LOG_H_
