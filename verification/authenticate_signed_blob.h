// Is a DER PKCS #7 SignedData message signed (signer 0) by one of the two
// pinned publisher certificates, or by a certificate the caller gives?
#ifndef BASTION_VERIFICATION_AUTHENTICATE_SIGNED_BLOB_H_
#define BASTION_VERIFICATION_AUTHENTICATE_SIGNED_BLOB_H_

#include <windows.h>

#include <wincrypt.h>

#include <vector>

// 1 accepted; `lenient` when decoded but no signature verified; 0 when the
// message cannot be read. `content` receives the content plus one zero byte
// before any signature is checked.
int AuthenticateSignedBlob(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& content,
                           PCCERT_CONTEXT signer, bool lenient);

#endif  // BASTION_VERIFICATION_AUTHENTICATE_SIGNED_BLOB_H_
