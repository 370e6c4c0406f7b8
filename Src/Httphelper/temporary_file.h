// A fresh, UUID-named file in a temporary folder that receives the package,
// and the read-only hold it ends in. The file is never read or written by
// name: one handle chain leads from its creation to the hold, and what is
// held is checked against what was written and against what its name leads
// to.
#ifndef BASTION_SRC_HTTPHELPER_TEMPORARY_FILE_H_
#define BASTION_SRC_HTTPHELPER_TEMPORARY_FILE_H_

#include <windows.h>

#include <wincrypt.h>

#include <array>
#include <optional>
#include <string>
#include <thread>

#include "Src/Httphelper/chunk_queue.h"
#include "platform/scoped_handle.h"

namespace bastion {

// SHA-256 of a byte stream, computed by the system's CryptoAPI provider.
using Sha256Digest = std::array<BYTE, 32>;

struct CryptProviderTraits {
  using Handle = HCRYPTPROV;
  static Handle None() { return 0; }
  static bool IsValid(Handle handle) { return handle != 0; }
  static void Close(Handle handle) { CryptReleaseContext(handle, 0); }
};

class Sha256 {
 public:
  Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False, with the system's error in GetLastError, when the provider could
  // not be had or refused the bytes.
  bool Update(const void* bytes, DWORD count);
  // The digest of every byte given so far; the object takes no more bytes.
  bool Finish(Sha256Digest& digest);

 private:
  // Destroyed in the reverse order: the hash before its provider.
  ScopedHandle<CryptProviderTraits> provider_;
  ScopedHandle<LinkedCloseTraits<HCRYPTHASH, &CryptDestroyHash>> hash_;
  DWORD error_ = 0;  // why the provider or the hash could not be had
};

// A Sha256 fed on a thread of its own, so that hashing a chunk overlaps
// reading the next one from the network. What waits to be hashed is bounded
// (kQueuedBytes), so a hash that falls behind slows the writer down instead
// of growing memory.
class BackgroundSha256 {
 public:
  static constexpr size_t kQueuedBytes = 1 << 20;

  BackgroundSha256();
  // Stops the thread; bytes still queued are dropped.
  ~BackgroundSha256();
  BackgroundSha256(const BackgroundSha256&) = delete;
  BackgroundSha256& operator=(const BackgroundSha256&) = delete;

  // Queues a copy of the bytes. False, with the system's error in
  // GetLastError, once hashing has failed.
  bool Update(const void* bytes, DWORD count);
  // Waits for every queued byte, then gives the digest; takes no more bytes.
  bool Finish(Sha256Digest& digest);

 private:
  void Run();

  Sha256 hash_;
  ChunkQueue queue_{kQueuedBytes};
  // Written by the thread, read after it ended or through the queue's lock
  // ordering; 0 while hashing goes well.
  DWORD error_ = 0;
  bool finished_ = false;
  std::thread worker_;
};

// A new UUID in its 36-character text form; empty when none could be made.
std::wstring NewUuidName();

// Which file a handle refers to, whatever name it has now.
struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The written package, held read-only and shared for reading only: while
// held, nobody can write, rename, replace or delete it, and readers that
// deny writing (the signature check, the Windows Installer) can open it.
struct HeldPackage {
  std::wstring path;
  ScopedKernelHandle handle;
  // Releases the hold and deletes the file.
  void Discard();
};

// Where the package files of a run are made.
struct StagingPlace {
  // Environment variables unexpanded, for example "%temp%".
  std::wstring folder;
  // Set only for a folder this run created itself, private to
  // Administrators and SYSTEM with an explicit owner: the attributes its
  // files are created with, owner included. Nobody else can write such a
  // file, so its content is not hashed. Null: a shared folder, the process's
  // default attributes, and the content checked by digest.
  SECURITY_ATTRIBUTES* privateFiles = nullptr;
  // How bytes reach the file; tests replace it to make a write fail.
  decltype(&WriteFile) write = WriteFile;
};

class TemporaryFile {
 public:
  // Expands the environment variables of the folder (for example "%temp%");
  // "C:\Windows\Temp" when that fails or does not fit a path.
  explicit TemporaryFile(const StagingPlace& place);
  explicit TemporaryFile(const wchar_t* folderSpecification) : TemporaryFile(StagingPlace{folderSpecification}) {}
  // A file that was created but not handed on as a hold is deleted: a
  // failed or cut download leaves nothing behind.
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // One attempt: a new name, then a new file (never an existing one) open
  // for reading, writing and deletion, shared for reading only. The outcome
  // is in created() and lastError().
  void Create();

  // Appends `count` bytes through the creation handle. False with the
  // system's error in GetLastError; the file then takes no more bytes.
  bool Write(const void* bytes, DWORD count);
  // Empties the file through the creation handle, to write it again from
  // its start, with a fresh digest where there is one.
  bool Truncate();
  // The bytes written since the file was made or emptied.
  unsigned long long size() const { return size_; }
  // Whether a write failed: such a file is never written on.
  bool writeFailed() const { return writeFailed_; }

  // Ends the writing: derives a read-only handle, closes the writer, derives
  // the final handle that shares reading only, and checks through it that
  // it holds the written file, still under its name, and, outside a private
  // folder, with the written content. True with the hold in `package`; false, with the error in
  // lastError(), when anything failed or did not match; the file is then
  // deleted.
  bool Hold(HeldPackage& package);

  bool created() const { return created_; }
  const std::wstring& name() const { return name_; }
  const std::wstring& folder() const { return folder_; }
  const std::wstring& path() const { return path_; }
  DWORD lastError() const { return lastError_; }

 private:
  bool Fail(DWORD error);

  ScopedKernelHandle handle_;
  bool created_ = false;
  std::wstring name_;
  std::wstring folder_;
  std::wstring path_;
  SECURITY_ATTRIBUTES* privateFiles_ = nullptr;
  decltype(&WriteFile) write_;
  DWORD lastError_ = 0;
  FileIdentity identity_;
  // Empty in a private folder.
  std::optional<BackgroundSha256> written_;
  unsigned long long size_ = 0;
  bool writeFailed_ = false;
};

// 0 when `file` is the file of `identity`, `path` leads to that file, and,
// unless `digest` is null, its content, read through `file` from the start,
// has `digest`; ERROR_FILE_INVALID when it is another file or other content;
// otherwise the system's error. Leaves the file position at the start.
DWORD CheckHeldFile(HANDLE file, const std::wstring& path, const FileIdentity& identity,
                    const Sha256Digest* digest);

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_TEMPORARY_FILE_H_
