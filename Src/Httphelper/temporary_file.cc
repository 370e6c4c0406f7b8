#include "Src/Httphelper/temporary_file.h"

#include <rpc.h>

#include <vector>

#include "Src/Httphelper/uuid_name.h"
#include "platform/object_security.h"

namespace bastion {

namespace {

bool IdentityOf(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// 0 when `file` is the file of `identity`; ERROR_FILE_INVALID when it is
// another; otherwise the system's error.
DWORD CheckIdentity(HANDLE file, const FileIdentity& identity) {
  FileIdentity found;
  if (!IdentityOf(file, found)) return GetLastError();
  return found == identity ? 0 : ERROR_FILE_INVALID;
}

}  // namespace

std::wstring NewUuidName() {
  UUID uuid;
  if (UuidCreate(&uuid) != RPC_S_OK) return {};
  UuidFields fields{uuid.Data1, uuid.Data2, uuid.Data3, {}};
  for (int i = 0; i < 8; ++i) fields.data4[i] = uuid.Data4[i];
  wchar_t text[kUuidNameLength + 1];
  FormatUuidName(fields, text);
  return text;
}

Sha256::Sha256() {
  if (!CryptAcquireContextW(provider_.Receive(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    error_ = GetLastError();
    provider_.Release();
    return;
  }
  if (!CryptCreateHash(provider_.Get(), CALG_SHA_256, 0, 0, hash_.Receive())) {
    error_ = GetLastError();
    hash_.Release();
  }
}

bool Sha256::Update(const void* bytes, DWORD count) {
  if (!hash_.IsValid()) {
    SetLastError(error_);
    return false;
  }
  return count == 0 || CryptHashData(hash_.Get(), static_cast<const BYTE*>(bytes), count, 0);
}

bool Sha256::Finish(Sha256Digest& digest) {
  if (!hash_.IsValid()) {
    SetLastError(error_);
    return false;
  }
  DWORD size = static_cast<DWORD>(digest.size());
  return CryptGetHashParam(hash_.Get(), HP_HASHVAL, digest.data(), &size, 0) && size == digest.size();
}

BackgroundSha256::BackgroundSha256() : worker_([this] { Run(); }) {}

BackgroundSha256::~BackgroundSha256() {
  queue_.Cancel();
  if (worker_.joinable()) worker_.join();
}

void BackgroundSha256::Run() {
  std::vector<uint8_t> chunk;
  while (queue_.Pop(chunk)) {
    if (!hash_.Update(chunk.data(), static_cast<DWORD>(chunk.size()))) {
      error_ = GetLastError() != 0 ? GetLastError() : ERROR_GEN_FAILURE;
      // Nothing more is worth hashing; the writer learns of it at its next
      // chunk or at Finish.
      queue_.Cancel();
      return;
    }
  }
}

bool BackgroundSha256::Update(const void* bytes, DWORD count) {
  if (finished_ || !queue_.Push(static_cast<const uint8_t*>(bytes), count)) {
    if (worker_.joinable()) worker_.join();
    SetLastError(error_ != 0 ? error_ : ERROR_INVALID_STATE);
    return false;
  }
  return true;
}

bool BackgroundSha256::Finish(Sha256Digest& digest) {
  if (finished_) {
    SetLastError(ERROR_INVALID_STATE);
    return false;
  }
  finished_ = true;
  queue_.Close();
  worker_.join();
  if (error_ != 0) {
    SetLastError(error_);
    return false;
  }
  return hash_.Finish(digest);
}

void HeldPackage::Discard() {
  handle.Close();
  if (!path.empty()) DeleteFileW(path.c_str());
}

TemporaryFile::TemporaryFile(const StagingPlace& place) : privateFiles_(place.privateFiles), write_(place.write) {
  wchar_t expanded[MAX_PATH] = {};
  DWORD size = ExpandEnvironmentStringsW(place.folder.c_str(), expanded, MAX_PATH);
  // A size above the buffer means the text did not fit: the buffer then holds
  // no usable folder, so it counts as a failed expansion.
  if (size == 0 || size > MAX_PATH)
    folder_ = L"C:\\Windows\\Temp";
  else
    folder_ = expanded;
}

TemporaryFile::~TemporaryFile() {
  if (!handle_.IsValid()) return;
  // Deleted through the handle that made it: no name is trusted to still
  // lead to this file.
  FILE_DISPOSITION_INFO dispose = {TRUE};
  SetFileInformationByHandle(handle_.Get(), FileDispositionInfo, &dispose, sizeof(dispose));
}

void TemporaryFile::Create() {
  name_ = NewUuidName();
  if (name_.empty()) return;
  path_ = folder_ + L"\\" + name_;
  ScopedKernelHandle file(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                      privateFiles_ != nullptr ? privateFiles_ : GetObjectSecurity(), CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    lastError_ = GetLastError();
    return;
  }
  handle_ = std::move(file);
  if (!IdentityOf(handle_.Get(), identity_)) {
    lastError_ = GetLastError();
    return;  // the destructor deletes it
  }
  if (privateFiles_ == nullptr) written_.emplace();
  created_ = true;
}

bool TemporaryFile::Write(const void* bytes, DWORD count) {
  const BYTE* next = static_cast<const BYTE*>(bytes);
  while (count > 0) {
    DWORD done = 0;
    if (writeFailed_ || !write_(handle_.Get(), next, count, &done, nullptr) || done == 0 ||
        (written_ && !written_->Update(next, done))) {
      if (writeFailed_ || GetLastError() == 0) SetLastError(ERROR_WRITE_FAULT);
      writeFailed_ = true;
      return false;
    }
    next += done;
    count -= done;
    size_ += done;
  }
  return true;
}

bool TemporaryFile::Truncate() {
  LARGE_INTEGER start = {};
  if (!created_ || writeFailed_ || !SetFilePointerEx(handle_.Get(), start, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(handle_.Get())) {
    writeFailed_ = true;
    return false;
  }
  size_ = 0;
  if (written_) {
    written_.reset();
    written_.emplace();
  }
  return true;
}

bool TemporaryFile::Fail(DWORD error) {
  lastError_ = error != 0 ? error : ERROR_FILE_INVALID;
  return false;
}

bool TemporaryFile::Hold(HeldPackage& package) {
  if (!created_ || !handle_.IsValid() || writeFailed_) return Fail(ERROR_INVALID_HANDLE);
  Sha256Digest digest;
  if (written_ && !written_->Finish(digest)) return Fail(GetLastError());
  ScopedKernelHandle reader(ReOpenFile(handle_.Get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
  if (!reader.IsValid()) return Fail(GetLastError());
  handle_.Close();
  // From here on the file can only be deleted by name, and a name may lead
  // to another file: deleting that one as well harms nobody.
  ScopedKernelHandle held(ReOpenFile(reader.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
  DWORD error = held.IsValid() ? 0 : GetLastError();
  reader.Close();
  if (error == 0) error = CheckHeldFile(held.Get(), path_, identity_, written_ ? &digest : nullptr);
  if (error != 0) {
    held.Close();
    DeleteFileW(path_.c_str());
    return Fail(error);
  }
  package.path = path_;
  package.handle = std::move(held);
  return true;
}

DWORD CheckHeldFile(HANDLE file, const std::wstring& path, const FileIdentity& identity,
                    const Sha256Digest* digest) {
  if (DWORD error = CheckIdentity(file, identity)) return error;
  // The installer opens the package by its name, so the name must still lead
  // to the held file; the hold then keeps it there. A file deleted just
  // before the hold may have lost its name, or may refuse to open by it.
  ScopedKernelHandle named(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!named.IsValid()) return GetLastError();
  if (DWORD error = CheckIdentity(named.Get(), identity)) return error;
  if (digest == nullptr) return 0;
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return GetLastError();
  Sha256 content;
  std::vector<BYTE> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return GetLastError();
    if (read == 0) break;
    if (!content.Update(buffer.data(), read)) return GetLastError();
  }
  Sha256Digest found;
  if (!content.Finish(found)) return GetLastError();
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return GetLastError();
  return found == *digest ? 0 : ERROR_FILE_INVALID;
}

}  // namespace bastion
