// The log's own folder creation and file opening, used for the first file
// and for every fresh file after a rotation. With security attributes the
// folders and a new file get that descriptor; without, the runtime library's
// plain calls are used.
#ifndef BASTION_DIAGNOSTICS_LOG_FILE_H_
#define BASTION_DIAGNOSTICS_LOG_FILE_H_

#include <windows.h>

#include <stdio.h>

#include <string>

// Creates every missing folder of `folder` from its start. True when the
// folder exists afterwards; an existing folder is left as it is.
bool CreateLogFolders(const std::string& folder, const SECURITY_ATTRIBUTES* security);

// Opens `path` with mode "ab" (append) or "wb" (truncate). With a descriptor
// the folder is probed with a GUID-named file first, which is always deleted
// again. Null on failure.
FILE* OpenLogStream(const std::string& path, const char* mode, const SECURITY_ATTRIBUTES* security);

// One open log file: opening with the retries of the logging library's file
// layer (5 tries, 10 ms apart, folders created before each), writing,
// flushing and size.
class LogFile {
 public:
  // Asked at every opening, so the log's security is decided when the first
  // file is opened.
  using SecuritySource = const SECURITY_ATTRIBUTES* (*)();

  explicit LogFile(SecuritySource security);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Truncating opens the file with "wb", closes it, then opens with "ab".
  bool Open(const std::string& path, bool truncate);
  bool Reopen(bool truncate);
  void Close();
  bool Write(const char* data, size_t size);
  bool Flush();
  // Bytes in the file; 0 when none is open.
  size_t Size() const;
  const std::string& path() const { return path_; }

 private:
  SecuritySource security_;
  std::string path_;
  FILE* stream_ = nullptr;
};

#endif  // BASTION_DIAGNOSTICS_LOG_FILE_H_
