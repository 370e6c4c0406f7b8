// The procedure's local files and settings: the 32-bit program files folder,
// the executable's own path, folder chains, config.dat, the package's move
// beside the executable, the VPN value under HKEY_LOCAL_MACHINE, and what the
// process can tell of its console, window station and session.
#ifndef BASTION_SRC_VTDROPPER_LOCAL_FILES_H_
#define BASTION_SRC_VTDROPPER_LOCAL_FILES_H_

#include <windows.h>

#include <stddef.h>

#include <string>

#include "Src/VTDropper/local_file_rules.h"
#include "platform/scoped_handle.h"
#include "platform/win32_result.h"

namespace bastion {

// Selector of FileExistsInProgramFiles for the 32-bit program files folder,
// the only folder defined.
inline constexpr int kProgramFilesX86 = 1;

// The 32-bit program files folder; empty on any failure.
std::wstring ProgramFilesFolder();

// True when `relativePath` below the selected folder names a file; a folder
// of that name does not count.
bool FileExistsInProgramFiles(int folderSelector, const wchar_t* relativePath);

// Full path of the executable; empty on failure.
std::wstring ModulePath();

// Full path of the executable at any length, in the form the wide file calls
// accept (ExtendedLengthPath); empty on failure, with the Win32 error in
// `error`.
std::wstring LongModulePath(DWORD& error);

// The module path cut after its last "\" (which stays); empty on failure.
std::wstring ModuleDirectory();

// Creates each folder up to the last "\" of `path`; the text after it is not
// created. Folders that exist, and those the system refuses with access
// denied (the drive root, among others), pass: a later write fails in their
// place. Fails with the system's error at the first other failure, or with
// ERROR_FILENAME_EXCED_RANGE for a prefix over 259 characters.
Win32Result CreateDirectoryChain(const wchar_t* path);

struct WriteResult {
  ScopedKernelHandle file;  // left open for the caller, who closes it
  Win32Result outcome = Win32Result::Failure(0);
};

// Creates or truncates `path` (`disposition` CREATE_NEW: creates it only
// where nothing has that name) with `security`, or the process's object
// security when it is null, and writes `count` bytes; 0 bytes make an empty
// file.
WriteResult WriteBytesToFile(const wchar_t* path, const unsigned char* bytes, size_t count,
                             DWORD disposition = CREATE_ALWAYS, SECURITY_ATTRIBUTES* security = nullptr);

// Copies what `from` holds, read from its start, into the new file `path`
// (never an existing entry, nor through a link), left open in `copy` for
// writing and deletion and shared with nobody, with `security`, or the
// process's object security when it is null. A failed copy is deleted.
Win32Result CopyToNewFile(HANDLE from, const std::wstring& path, ScopedKernelHandle& copy,
                          SECURITY_ATTRIBUTES* security = nullptr);

// Copies `package` (read from its start) into a new file of `folder` (ending
// in "\") under a temporary name, then renames that copy through its handle
// over `folder` + `name`, replacing whatever has that name (a planted link
// included, which is replaced rather than written through). A failed step
// deletes the copy.
PackageMoveOutcome CopyPackageBeside(HANDLE package, const std::wstring& folder, const wchar_t* name);

// Writes `value` (UTF-8) as REG_SZ `valueName` under HKLM `keyPath`, making
// the key when it is missing. The text is stored as UTF-16 so non-ASCII
// characters survive; its size counts no terminating zero. Returns the
// registry's error code, 0 on success; text that is not UTF-8 is refused
// with ERROR_NO_UNICODE_TRANSLATION and nothing is written.
LSTATUS SetMachineStringValue(const char* keyPath, const char* valueName, const char* value);

// Where the configuration's VPN settings are kept for the agent.
inline constexpr char kVpnKeyPath[] = "SOFTWARE\\Veltrion\\Bastion Security";
inline constexpr char kVpnValueName[] = "VPNConfig";

// Writes a non-empty "VPN_CONFIG" text as "VPNConfig"; an empty one leaves
// the registry, and any earlier value, alone. True when a write was made,
// whatever its result, which nobody acts on.
bool StoreVpnConfiguration(const std::string& text);

// Detaches from the console when this process is its only process: a
// console made just for us, as when started from Explorer. A console shared
// with the shell that started us stays, so its user sees our messages.
// True when the console was released.
bool ReleaseConsoleIfOwnedAlone();

// True when the process's window station has WSF_VISIBLE; false when it
// cannot be asked.
bool IsInteractiveWindowStation();
// The same for `station`.
bool IsInteractiveWindowStation(HWINSTA station);

// True unless the process runs in session 0, which services use and no user
// logs on to; false when the session cannot be asked.
bool IsInUserSession();

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_LOCAL_FILES_H_
