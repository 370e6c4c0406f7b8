// Is a DER PKCS #7 SignedData message signed (signer 0) by one of the two
// pinned publisher certificates, or by a caller's certificate with a pinned key?
// Also the built-in certificate of the packages' publisher.
#ifndef BASTION_VERIFICATION_AUTHENTICATE_SIGNED_BLOB_H_
#define BASTION_VERIFICATION_AUTHENTICATE_SIGNED_BLOB_H_

#include <windows.h>

#include <wincrypt.h>

#include <cstddef>
#include <vector>

namespace bastion {

// What a message must carry for its use. A configuration is plain data,
// whose digest this check compares with the signed one itself. A file's code
// signature carries the file's digest (SpcIndirectDataContent), which the
// system's check of that file has already compared.
enum class SignedContent { kConfiguration, kCodeSignature };

// 1 when signer 0's signature verifies under a pinned certificate's key and
// the content is of the kind `expected`; otherwise 0. With `signer`, that
// certificate must verify the signature and carry a pinned key. `content`
// receives the content plus one zero byte before any signature is checked.
int AuthenticateSignedBlob(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& content,
                           PCCERT_CONTEXT signer, SignedContent expected);

// The same check against any set of PEM certificates: AuthenticateSignedBlob
// passes the two pinned ones, tests pass others. `certificates` are
// zero-terminated one-line PEM texts; one that cannot be read is left out of
// the attempts.
int AuthenticateSignedBlobWith(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& content,
                               PCCERT_CONTEXT signer, SignedContent expected,
                               const char* const* certificates, size_t certificateCount);

// The certificate whose subject the packages' signer must carry, compiled in
// with the pins: a zero-terminated one-line PEM text.
const char* PackagePublisherCertificate();

}  // namespace bastion

#endif  // BASTION_VERIFICATION_AUTHENTICATE_SIGNED_BLOB_H_
