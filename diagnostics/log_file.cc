#include "diagnostics/log_file.h"

#include <accctrl.h>
#include <fcntl.h>
#include <io.h>
#include <rpc.h>
#include <string.h>
#include <winternl.h>

#include <cstddef>
#include <memory>

#include "diagnostics/log_paths.h"
#include "platform/object_security.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"

namespace bastion {

namespace {

constexpr int kOpenTries = 5;
constexpr DWORD kOpenIntervalMs = 10;
constexpr int kProbeAttempts = 5;
constexpr DWORD kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

std::wstring Widen(const std::string& text) {
  const int needed = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), needed) <= 0) return {};
  wide.resize(static_cast<size_t>(needed) - 1);
  return wide;
}

bool ReadEntry(HANDLE handle, OpenedLogEntry& entry) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  entry.attributes = info.dwFileAttributes;
  entry.links = info.nNumberOfLinks;
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length >= path.size()) {
    // Too small: the answer is the size needed, its terminating zero included.
    path.resize(length);
    length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  if (length == 0 || length >= path.size()) return false;
  path.resize(length);
  entry.finalPath = std::move(path);
  return true;
}

bool IsOwn(HANDLE handle, bool folder, const std::wstring& parentFinal, const std::string& name,
           std::wstring* finalPath = nullptr) {
  OpenedLogEntry entry;
  if (!ReadEntry(handle, entry) || !IsOwnLogEntry(entry, folder, parentFinal, Widen(name)))
    return false;
  if (finalPath != nullptr) *finalPath = std::move(entry.finalPath);
  return true;
}

using NtSetInformationFileFn = NTSTATUS NTAPI(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                              FILE_INFORMATION_CLASS);

NtSetInformationFileFn* BoundNtSetInformationFile() {
  static SystemLibrary ntdll(L"ntdll.dll");
  static NtSetInformationFileFn* const fn = [] {
    NtSetInformationFileFn* bound = nullptr;
    BindExport(ntdll, "NtSetInformationFile", bound);
    return bound;
  }();
  return fn;
}

// The file system's rename relative to a folder handle: the kernel32 call
// would turn a bare name into one below the current folder.
bool RenameBelow(HANDLE file, HANDLE folder, const std::wstring& name) {
  NtSetInformationFileFn* setInformation = BoundNtSetInformationFile();
  if (setInformation == nullptr || name.empty()) return false;
  const size_t nameBytes = name.size() * sizeof(wchar_t);
  std::vector<BYTE> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  memcpy(info->FileName, name.c_str(), nameBytes);
  IO_STATUS_BLOCK status = {};
  return NT_SUCCESS(setInformation(file, &status, info, static_cast<ULONG>(buffer.size()),
                                   FileRenameInformation));
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
        handle_ = ScopedKernelHandle(CreateFileA(path_.c_str(), GENERIC_WRITE, 0,
                                                 const_cast<SECURITY_ATTRIBUTES*>(security),
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle_.IsValid()) lastError = GetLastError();
      }
      passed_ = handle_.IsValid() || lastError == ERROR_SUCCESS;
      if (passed_) break;
    }
  }
  // The file is closed before it is deleted.
  ~FolderProbe() {
    if (!handle_.IsValid()) return;
    handle_.Close();
    DeleteFileA(path_.c_str());
  }
  FolderProbe(const FolderProbe&) = delete;
  FolderProbe& operator=(const FolderProbe&) = delete;

  bool passed() const { return passed_; }

 private:
  std::string path_;
  ScopedKernelHandle handle_;
  bool passed_ = false;
};

// Creates the missing folders of `anchor` from its start, as the system's
// own folder would have been: links on the way are the system's.
void CreateAnchor(const std::string& anchor, const SECURITY_ATTRIBUTES* security) {
  if (anchor.empty() || GetFileAttributesA(anchor.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  for (size_t separator = anchor.find_first_of("\\/");;
       separator = anchor.find_first_of("\\/", separator + 1)) {
    const std::string prefix = anchor.substr(0, separator);
    if (!prefix.empty() && GetFileAttributesA(prefix.c_str()) == INVALID_FILE_ATTRIBUTES)
      CreateDirectoryA(prefix.c_str(), const_cast<SECURITY_ATTRIBUTES*>(security));
    if (separator == std::string::npos) return;
  }
}

bool HasDescriptor(const SECURITY_ATTRIBUTES* security) {
  return security != nullptr && security->lpSecurityDescriptor != nullptr;
}

bool ProcessRunsAsLocalSystem() {
  ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
  return TokenUserIsLocalSystem(token.Get());
}

}  // namespace

LogFolder::~LogFolder() { Close(); }

bool LogFolder::Open(const std::string& anchor, const std::string& relative,
                     const SECURITY_ATTRIBUTES* security) {
  Close();
  CreateAnchor(anchor, security);
  HANDLE top = CreateFileA(anchor.c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (top == INVALID_HANDLE_VALUE) return false;
  handles_.push_back(top);
  OpenedLogEntry entry;
  if (anchor.empty() || !ReadEntry(top, entry)) {
    Close();
    return false;
  }
  finalPath_ = std::move(entry.finalPath);
  path_ = anchor;
  size_t from = 0;
  while (from <= relative.size()) {
    size_t separator = relative.find_first_of("\\/", from);
    if (separator == std::string::npos) separator = relative.size();
    const std::string name = relative.substr(from, separator - from);
    from = separator + 1;
    if (name.empty()) continue;
    const std::string next = path_ + "\\" + name;
    // An existing entry of that name, whatever it is, is judged once opened.
    if (!CreateDirectoryA(next.c_str(), const_cast<SECURITY_ATTRIBUTES*>(security)) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      Close();
      return false;
    }
    HANDLE folder = CreateFileA(next.c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder != INVALID_HANDLE_VALUE) handles_.push_back(folder);
    std::wstring finalPath;
    if (folder == INVALID_HANDLE_VALUE || !IsOwn(folder, true, finalPath_, name, &finalPath)) {
      Close();
      return false;
    }
    finalPath_ = std::move(finalPath);
    path_ = next;
  }
  return true;
}

void LogFolder::Close() {
  for (HANDLE handle : handles_) CloseHandle(handle);
  handles_.clear();
  path_.clear();
  finalPath_.clear();
}

FILE* OpenLogStream(const LogFolder& folder, const std::string& name, bool truncate,
                    const SECURITY_ATTRIBUTES* security) {
  if (!folder.IsOpen()) return nullptr;
  const bool descriptor = HasDescriptor(security);
  std::unique_ptr<FolderProbe> probe;
  if (descriptor) {
    probe = std::make_unique<FolderProbe>(folder.path(), security);
    if (!probe->passed()) return nullptr;
  }
  // Only the descriptor path asks for read access besides write, as the
  // runtime's "ab" (the plain path's opener until now) did not.
  HANDLE file = CreateFileA((folder.path() + "\\" + name).c_str(),
                            descriptor ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE,
                            descriptor ? const_cast<SECURITY_ATTRIBUTES*>(security) : nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // Emptied only once known to be ours: never through a link.
  if (!IsOwn(file, false, folder.finalPath(), name) || (truncate && !SetEndOfFile(file))) {
    CloseHandle(file);
    return nullptr;
  }
  int descriptorNumber = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND);
  if (descriptorNumber == -1) {
    CloseHandle(file);
    return nullptr;
  }
  FILE* stream = _fdopen(descriptorNumber, "ab");
  // The descriptor owns the handle now; closing it releases both.
  if (stream == nullptr) _close(descriptorNumber);
  return stream;
}

LogRename RenameLogFile(const LogFolder& folder, const std::string& from, const std::string& to) {
  if (!folder.IsOpen()) return LogRename::kFailed;
  HANDLE source = CreateFileA((folder.path() + "\\" + from).c_str(),
                              DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (source == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? LogRename::kNothingToRename
                                                  : LogRename::kFailed;
  }
  OpenedLogEntry entry;
  LogRename result = LogRename::kFailed;
  if (ReadEntry(source, entry)) {
    if (!IsOwnLogEntry(entry, false, folder.finalPath(), Widen(from)))
      result = LogRename::kNothingToRename;
    else if (RenameBelow(source, folder.handle(), Widen(to)))
      result = LogRename::kRenamed;
  }
  CloseHandle(source);
  return result;
}

LogFile::LogFile(SecuritySource security) : security_(security) {}

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& anchor, const std::string& relativePath, bool truncate) {
  Close();
  anchor_ = anchor;
  relativePath_ = relativePath;
  const std::string relativeFolder = LogFolderOf(relativePath);
  const size_t separator = relativePath.find_last_of("\\/");
  name_ = separator == std::string::npos ? relativePath : relativePath.substr(separator + 1);
  path_ = anchor + "\\" + relativePath;
  const SECURITY_ATTRIBUTES* security = security_();
  for (int attempt = 0; attempt < kOpenTries; ++attempt) {
    // A folder that cannot be made or is not ours shows up as a failed opening.
    if (folder_.Open(anchor, relativeFolder, security)) {
      stream_ = OpenLogStream(folder_, name_, truncate, security);
      if (stream_ != nullptr) return true;
    }
    Sleep(kOpenIntervalMs);
  }
  folder_.Close();
  return false;
}

bool LogFile::Reopen(bool truncate) {
  return !relativePath_.empty() && Open(anchor_, relativePath_, truncate);
}

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

LogRename LogFile::Rename(const std::string& from, const std::string& to) {
  return RenameLogFile(folder_, from, to);
}

// The log's security.
bool TokenUserIsLocalSystem(HANDLE token) {
  // 76 bytes hold the record and any SID up to 15 sub-authorities on i686;
  // LocalSystem's SID is far smaller on either width.
  alignas(TOKEN_USER) BYTE buffer[76];
  DWORD length = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &length)) return false;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  ScopedSid localSystem;
  if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                localSystem.Receive()))
    return false;
  return EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, localSystem.Get()) != FALSE;
}

LogSecurity::LogSecurity() : runsAsLocalSystem(ProcessRunsAsLocalSystem()) {
  if (runsAsLocalSystem)
    attributes.lpSecurityDescriptor = BuildAccessDescriptor(SUB_CONTAINERS_AND_OBJECTS_INHERIT);
}

LogSecurity::~LogSecurity() { FreeAccessDescriptor(attributes.lpSecurityDescriptor); }

const LogSecurity& GetLogSecurity() {
  static const LogSecurity security;
  return security;
}

const SECURITY_ATTRIBUTES* LogSecurityAttributes() {
  const LogSecurity& security = GetLogSecurity();
  return security.attributes.lpSecurityDescriptor != nullptr ? &security.attributes : nullptr;
}


}  // namespace bastion
