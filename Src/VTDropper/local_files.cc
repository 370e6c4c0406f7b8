#include "Src/VTDropper/local_files.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <string.h>

#include <string>
#include <vector>

#include "Src/Httphelper/temporary_file.h"
#include "platform/object_security.h"
#include "platform/path_buffer.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"
#include "platform/text.h"

namespace bastion {

namespace {

// {7C5A40EF-A0FB-4BFC-874A-C0F2E0B9FA8E}, FOLDERID_ProgramFilesX86.
constexpr GUID kProgramFilesX86Id = {0x7C5A40EF, 0xA0FB, 0x4BFC, {0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E}};

const SystemLibrary& Shell32() {
  static const SystemLibrary library(L"Shell32.dll");
  return library;
}

const SystemLibrary& Ole32() {
  static const SystemLibrary library(L"Ole32.dll");
  return library;
}

// The longest path the system's file names allow, and its terminating zero.
constexpr DWORD kLongPathCapacity = 32768;

DWORD CopyContent(HANDLE from, HANDLE to) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN)) return GetLastError();
  std::vector<BYTE> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return GetLastError();
    if (read == 0) return 0;
    DWORD written = 0;
    if (!WriteFile(to, buffer.data(), read, &written, nullptr)) return GetLastError();
    if (written != read) return ERROR_WRITE_FAULT;
  }
}

using ScopedKey = ScopedHandle<LinkedCloseTraits<HKEY, &RegCloseKey>>;

}  // namespace

std::wstring ProgramFilesFolder() {
  decltype(SHGetKnownFolderPath)* getKnownFolderPath = nullptr;
  decltype(CoTaskMemFree)* taskMemFree = nullptr;
  if (!BindExport(Shell32(), "SHGetKnownFolderPath", getKnownFolderPath)) return {};
  if (!BindExport(Ole32(), "CoTaskMemFree", taskMemFree)) return {};

  PWSTR path = nullptr;
  HRESULT result = getKnownFolderPath(kProgramFilesX86Id, 0, reinterpret_cast<HANDLE>(-1), &path);
  if (result != S_OK || path == nullptr) {
    // The caller frees the text even on failure, should the system have made one.
    taskMemFree(path);
    return {};
  }
  std::wstring folder(path);
  taskMemFree(path);
  return folder;
}

bool FileExistsInProgramFiles(int folderSelector, const wchar_t* relativePath) {
  if (folderSelector != kProgramFilesX86) return false;
  std::wstring folder = ProgramFilesFolder();
  if (folder.empty()) return false;
  std::wstring path = folder + L"\\" + relativePath;
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring ModulePath() {
  wchar_t path[PathBuffer::kCapacity] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, PathBuffer::kCapacity);
  // A result that fills the buffer is a cut path, which names another file.
  if (length == 0 || length >= PathBuffer::kCapacity) return {};
  return std::wstring(path, length);
}

std::wstring LongModulePath(DWORD& error) {
  std::vector<wchar_t> path(kLongPathCapacity);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), kLongPathCapacity);
  error = length == 0                    ? GetLastError()
          : length >= kLongPathCapacity ? ERROR_INSUFFICIENT_BUFFER
                                        : ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return {};
  return ExtendedLengthPath(std::wstring(path.data(), length));
}

std::wstring ModuleDirectory() {
  std::wstring path = ModulePath();
  size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash + 1);
}

Win32Result CreateDirectoryChain(const wchar_t* path) {
  for (const wchar_t* slash = wcschr(path, L'\\'); slash != nullptr; slash = wcschr(slash + 1, L'\\')) {
    PathBuffer prefix;
    if (!prefix.Append(path, static_cast<size_t>(slash - path) + 1))
      return Win32Result::Failure(ERROR_FILENAME_EXCED_RANGE);
    if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return Win32Result::Failure(error);
    }
  }
  return Win32Result::Success();
}

WriteResult WriteBytesToFile(const wchar_t* path, const unsigned char* bytes, size_t count, DWORD disposition,
                             SECURITY_ATTRIBUTES* security) {
  WriteResult result;
  result.file = ScopedKernelHandle(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ,
                                               security != nullptr ? security : GetObjectSecurity(), disposition,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!result.file.IsValid()) {
    result.outcome = Win32Result::Failure(GetLastError());
    return result;
  }
  while (count > 0) {
    DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(result.file.Get(), bytes, chunk, &written, nullptr)) {
      result.outcome = Win32Result::Failure(GetLastError());
      return result;
    }
    // A write that makes no progress would loop for ever.
    if (written == 0) {
      result.outcome = Win32Result::Failure(ERROR_WRITE_FAULT);
      return result;
    }
    bytes += written;
    count -= written;
  }
  result.outcome = Win32Result::Success();
  return result;
}

Win32Result CopyToNewFile(HANDLE from, const std::wstring& path, ScopedKernelHandle& copy,
                          SECURITY_ATTRIBUTES* security) {
  // CREATE_NEW never takes an existing entry, a planted link included.
  // The object security keeps the file readable where it lands.
  copy = ScopedKernelHandle(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0,
                                        security != nullptr ? security : GetObjectSecurity(), CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy.IsValid()) return Win32Result::Failure(GetLastError());
  const DWORD error = CopyContent(from, copy.Get());
  if (error == 0) return Win32Result::Success();
  FILE_DISPOSITION_INFO dispose = {TRUE};
  SetFileInformationByHandle(copy.Get(), FileDispositionInfo, &dispose, sizeof(dispose));
  copy.Close();
  return Win32Result::Failure(error);
}

PackageMoveOutcome CopyPackageBeside(HANDLE package, const std::wstring& folder, const wchar_t* name) {
  PackageMoveOutcome outcome;
  const std::wstring uuid = NewUuidName();
  if (uuid.empty()) {
    outcome.error = ERROR_GEN_FAILURE;
    outcome.copyFailed = true;
    return outcome;
  }
  ScopedKernelHandle copy;
  const Win32Result copied = CopyToNewFile(package, folder + uuid + L".tmp", copy);
  if (!copied) {
    outcome.error = copied.error();
    outcome.copyFailed = true;
    return outcome;
  }
  // Renamed through the handle that wrote it, so the file that takes the
  // name is the one written, whatever happens to the temporary name. The
  // name must be the full path: a bare name would move the file into the
  // current folder.
  const std::wstring target = folder + name;
  const size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  memcpy(rename->FileName, target.c_str(), nameBytes);
  if (!SetFileInformationByHandle(copy.Get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
    outcome.error = GetLastError();
    FILE_DISPOSITION_INFO dispose = {TRUE};
    SetFileInformationByHandle(copy.Get(), FileDispositionInfo, &dispose, sizeof(dispose));
  }
  return outcome;
}

LSTATUS SetMachineStringValue(const char* keyPath, const char* valueName, const char* value) {
  const auto widePath = Utf8ToWide(keyPath, InvalidUtf8::kRefuse);
  const auto wideName = Utf8ToWide(valueName, InvalidUtf8::kRefuse);
  const auto wideValue = Utf8ToWide(value, InvalidUtf8::kRefuse);
  if (!widePath || !wideName || !wideValue) return ERROR_NO_UNICODE_TRANSLATION;

  ScopedKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, widePath->c_str(), 0, KEY_WRITE, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) {
    status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, widePath->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
  }
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(key.Get(), wideName->c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wideValue->c_str()),
                        static_cast<DWORD>(wideValue->size() * sizeof(wchar_t)));
}

bool StoreVpnConfiguration(const std::string& text) {
  if (text.empty()) return false;
  SetMachineStringValue(kVpnKeyPath, kVpnValueName, text.c_str());
  return true;
}

bool ReleaseConsoleIfOwnedAlone() {
  // Room for two: all we need to know is whether anyone else is attached.
  DWORD processes[2] = {};
  // 0 means no console, or a system that cannot tell: keep what we have.
  if (GetConsoleProcessList(processes, 2) != 1) return false;
  return FreeConsole() != 0;
}

bool IsInteractiveWindowStation() {
  return IsInteractiveWindowStation(GetProcessWindowStation());
}

bool IsInteractiveWindowStation(HWINSTA station) {
  if (station == nullptr) return false;
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool IsInUserSession() {
  DWORD session = 0;
  return ProcessIdToSessionId(GetCurrentProcessId(), &session) && session != 0;
}

}  // namespace bastion
