// SHA-256 of a byte stream, computed by the system's CryptoAPI provider.
#ifndef BASTION_SRC_HTTPHELPER_SHA256_H_
#define BASTION_SRC_HTTPHELPER_SHA256_H_

#include <windows.h>

#include <wincrypt.h>

#include <array>

namespace bastion {

using Sha256Digest = std::array<BYTE, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False, with the system's error in GetLastError, when the provider could
  // not be had or refused the bytes.
  bool Update(const void* bytes, DWORD count);
  // The digest of every byte given so far; the object takes no more bytes.
  bool Finish(Sha256Digest& digest);

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
  DWORD error_ = 0;  // why the provider or the hash could not be had
};

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_SHA256_H_
