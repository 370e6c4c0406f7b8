// The log's own folder creation and file opening, used for the first file
// and for every fresh file after a rotation, and the renames of a rotation.
// The log lives below a folder the system names (the local application-data
// folder), in folders the user of that profile may change: every folder and
// file below it is opened without following reparse points and checked
// against its parent's final path, and files are renamed only through such
// checked handles. With security attributes new folders and a new file get
// that descriptor; without, the default security.
#ifndef BASTION_DIAGNOSTICS_LOG_FILE_H_
#define BASTION_DIAGNOSTICS_LOG_FILE_H_

#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace bastion {

// Security of the log's folders and files: when the process runs as
// LocalSystem they get an inheritable descriptor of their own (read for
// Everyone, full access for Administrators); otherwise the defaults.
struct LogSecurity {
  LogSecurity();
  ~LogSecurity();
  LogSecurity(const LogSecurity&) = delete;
  LogSecurity& operator=(const LogSecurity&) = delete;

  bool runsAsLocalSystem = false;
  // Carries a descriptor only when runsAsLocalSystem and it could be built.
  SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// The process-wide object, built on first use and destroyed at exit.
const LogSecurity& GetLogSecurity();

// The attributes to create log folders and files with, or null for the
// plain behaviour.
const SECURITY_ATTRIBUTES* LogSecurityAttributes();

// Whether the user of `token` (opened with TOKEN_QUERY) is S-1-5-18.
bool TokenUserIsLocalSystem(HANDLE token);

// The folders from the trusted folder down to the log's folder, each held
// open without delete sharing, so that none can be renamed or replaced by a
// link while the log uses it.
class LogFolder {
 public:
  LogFolder() = default;
  ~LogFolder();
  LogFolder(const LogFolder&) = delete;
  LogFolder& operator=(const LogFolder&) = delete;

  // Opens `anchor`, created first when missing, following links at and above
  // it (a moved profile is legitimate), then each folder of `relative` ("\"
  // or "/" separated, may be empty), creating a missing one. False when one
  // cannot be made or opened, or is not the log's own (IsOwnLogEntry);
  // nothing is held then.
  bool Open(const std::string& anchor, const std::string& relative,
            const SECURITY_ATTRIBUTES* security);
  void Close();
  bool IsOpen() const { return !handles_.empty(); }

  // The log's folder: the name it was opened by, its final path, its handle.
  const std::string& path() const { return path_; }
  const std::wstring& finalPath() const { return finalPath_; }
  HANDLE handle() const { return handles_.back(); }

 private:
  std::vector<HANDLE> handles_;
  std::string path_;
  std::wstring finalPath_;
};

// Opens `name` in `folder` to append, emptied first when `truncate`. With a
// descriptor the folder is probed with a GUID-named file first, which is
// always deleted again. Null on failure, and when the file is not the log's
// own (a link, a folder, a file with another name, found elsewhere than the
// folder's final path): such a file is not written, nor emptied.
FILE* OpenLogStream(const LogFolder& folder, const std::string& name, bool truncate,
                    const SECURITY_ATTRIBUTES* security);

enum class LogRename { kRenamed, kNothingToRename, kFailed };

// Renames `from` to `to` in `folder`, replacing `to`, through a handle of
// `from` and relative to the held folder. A `from` that is missing or is not
// the log's own file is left alone (kNothingToRename); a link is never
// followed.
LogRename RenameLogFile(const LogFolder& folder, const std::string& from, const std::string& to);

// One open log file: opening with the retries of the logging library's file
// layer (5 tries, 10 ms apart, folders opened or created before each),
// writing, flushing, size and the renames of a rotation.
class LogFile {
 public:
  // Asked at every opening, so the log's security is decided when the first
  // file is opened.
  using SecuritySource = const SECURITY_ATTRIBUTES* (*)();

  explicit LogFile(SecuritySource security);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens `relativePath` below `anchor`.
  bool Open(const std::string& anchor, const std::string& relativePath, bool truncate);
  bool Reopen(bool truncate);
  // Closes the file; its folders stay held for the renames of a rotation.
  void Close();
  bool Write(const char* data, size_t size);
  bool Flush();
  // Bytes in the file; 0 when none is open.
  size_t Size() const;
  // RenameLogFile in the log's folder, between file names.
  LogRename Rename(const std::string& from, const std::string& to);
  // The file's full name as opened, and its name in its folder.
  const std::string& path() const { return path_; }
  const std::string& name() const { return name_; }

 private:
  SecuritySource security_;
  std::string anchor_;
  std::string relativePath_;
  std::string path_;
  std::string name_;
  LogFolder folder_;
  FILE* stream_ = nullptr;
};

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_LOG_FILE_H_
