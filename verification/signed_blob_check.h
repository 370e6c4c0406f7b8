// The configuration signature check against any set of PEM certificates:
// AuthenticateSignedBlob passes the two pinned ones, tests pass others.
#ifndef BASTION_VERIFICATION_SIGNED_BLOB_CHECK_H_
#define BASTION_VERIFICATION_SIGNED_BLOB_CHECK_H_

#include <windows.h>

#include <wincrypt.h>

#include <cstddef>
#include <vector>

#include "verification/authenticate_signed_blob.h"

namespace bastion {

// `certificates` are zero-terminated one-line PEM texts; one that cannot be
// read is left out of the attempts.
int AuthenticateSignedBlobWith(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& content,
                               PCCERT_CONTEXT signer, SignedContent expected,
                               const char* const* certificates, size_t certificateCount);

}  // namespace bastion

#endif  // BASTION_VERIFICATION_SIGNED_BLOB_CHECK_H_
