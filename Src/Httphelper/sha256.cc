#include "Src/Httphelper/sha256.h"

namespace bastion {

Sha256::Sha256() {
  if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    error_ = GetLastError();
    provider_ = 0;
    return;
  }
  if (!CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) {
    error_ = GetLastError();
    hash_ = 0;
  }
}

Sha256::~Sha256() {
  if (hash_ != 0) CryptDestroyHash(hash_);
  if (provider_ != 0) CryptReleaseContext(provider_, 0);
}

bool Sha256::Update(const void* bytes, DWORD count) {
  if (hash_ == 0) {
    SetLastError(error_);
    return false;
  }
  return count == 0 || CryptHashData(hash_, static_cast<const BYTE*>(bytes), count, 0);
}

bool Sha256::Finish(Sha256Digest& digest) {
  if (hash_ == 0) {
    SetLastError(error_);
    return false;
  }
  DWORD size = static_cast<DWORD>(digest.size());
  return CryptGetHashParam(hash_, HP_HASHVAL, digest.data(), &size, 0) && size == digest.size();
}

}  // namespace bastion
