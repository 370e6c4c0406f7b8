#include "diagnostics/log_file.h"

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <rpc.h>
#include <share.h>
#include <string.h>

#include "diagnostics/log_paths.h"

namespace {

constexpr int kOpenTries = 5;
constexpr DWORD kOpenIntervalMs = 10;
constexpr int kProbeAttempts = 5;

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A GUID-named file created in the log folder with the log's descriptor
// before the log file itself; closed and deleted when this goes away,
// whatever became of the log file.
class FolderProbe {
 public:
  FolderProbe(const std::string& folder, const SECURITY_ATTRIBUTES* security) {
    DWORD lastError = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
      UUID uuid;
      RPC_STATUS status = UuidCreate(&uuid);
      // A locally unique value is as good as any for a probe name.
      if (status == RPC_S_OK || status == RPC_S_UUID_LOCAL_ONLY) {
        unsigned char bytes[16];
        memcpy(bytes, &uuid, sizeof(bytes));
        path_ = folder + "\\" + ProbeFileName(bytes);
        handle_ = CreateFileA(path_.c_str(), GENERIC_WRITE, 0,
                              const_cast<SECURITY_ATTRIBUTES*>(security), CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) lastError = GetLastError();
      }
      passed_ = handle_ != INVALID_HANDLE_VALUE || lastError == ERROR_SUCCESS;
      if (passed_) break;
    }
  }
  ~FolderProbe() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    CloseHandle(handle_);
    DeleteFileA(path_.c_str());
  }
  FolderProbe(const FolderProbe&) = delete;
  FolderProbe& operator=(const FolderProbe&) = delete;

  bool passed() const { return passed_; }

 private:
  std::string path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool passed_ = false;
};

FILE* OpenWithDescriptor(const std::string& path, const char* mode,
                         const SECURITY_ATTRIBUTES* security) {
  std::string folder = LogFolderOf(path);
  FolderProbe probe(path.find_first_of("\\/") == std::string::npos ? "." : folder, security);
  if (!probe.passed()) return nullptr;

  bool append = strcmp(mode, "ab") == 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE,
                            const_cast<SECURITY_ATTRIBUTES*>(security),
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), append ? _O_APPEND : 0);
  if (descriptor == -1) {
    CloseHandle(file);
    return nullptr;
  }
  FILE* stream = _fdopen(descriptor, mode);
  // The descriptor owns the handle now; closing it releases both.
  if (stream == nullptr) _close(descriptor);
  return stream;
}

}  // namespace

bool CreateLogFolders(const std::string& folder, const SECURITY_ATTRIBUTES* security) {
  if (Exists(folder)) return true;
  if (folder.empty()) return false;
  size_t from = 0;
  while (from <= folder.size()) {
    size_t separator = folder.find_first_of("\\/", from);
    if (separator == std::string::npos) separator = folder.size();
    std::string prefix = folder.substr(0, separator);
    if (!prefix.empty() && !Exists(prefix)) {
      bool created = security != nullptr
                         ? CreateDirectoryA(prefix.c_str(),
                                            const_cast<SECURITY_ATTRIBUTES*>(security)) != FALSE
                         : _mkdir(prefix.c_str()) == 0;
      if (!created) return false;
    }
    from = separator + 1;
  }
  return true;
}

FILE* OpenLogStream(const std::string& path, const char* mode, const SECURITY_ATTRIBUTES* security) {
  if (security == nullptr || security->lpSecurityDescriptor == nullptr)
    return _fsopen(path.c_str(), mode, _SH_DENYNO);
  return OpenWithDescriptor(path, mode, security);
}

LogFile::LogFile(SecuritySource security) : security_(security) {}

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path, bool truncate) {
  Close();
  path_ = path;
  const SECURITY_ATTRIBUTES* security = security_();
  std::string folder = LogFolderOf(path);
  for (int attempt = 0; attempt < kOpenTries; ++attempt) {
    // A folder that cannot be made shows up as a failed opening.
    CreateLogFolders(folder, security);
    if (truncate) {
      FILE* emptied = OpenLogStream(path, "wb", security);
      if (emptied == nullptr) continue;
      fclose(emptied);
    }
    stream_ = OpenLogStream(path, "ab", security);
    if (stream_ != nullptr) return true;
    Sleep(kOpenIntervalMs);
  }
  return false;
}

bool LogFile::Reopen(bool truncate) { return !path_.empty() && Open(path_, truncate); }

void LogFile::Close() {
  if (stream_ == nullptr) return;
  fclose(stream_);
  stream_ = nullptr;
}

bool LogFile::Write(const char* data, size_t size) {
  return stream_ != nullptr && fwrite(data, 1, size, stream_) == size;
}

bool LogFile::Flush() { return stream_ != nullptr && fflush(stream_) == 0; }

size_t LogFile::Size() const {
  if (stream_ == nullptr) return 0;
  __int64 length = _filelengthi64(_fileno(stream_));
  return length < 0 ? 0 : static_cast<size_t>(length);
}
