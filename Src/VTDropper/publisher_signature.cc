#include "Src/VTDropper/publisher_signature.h"

#include <vector>

#include "verification/authenticate_signed_blob.h"
#include "verification/der.h"

namespace bastion {

namespace {

// Answers given only after the signature and the file digest checked out:
// they concern the certificate chain alone.
bool IsChainRefusal(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_EXPIRED:
    case CERT_E_WRONG_USAGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool PublisherSignatureAccepted(LONG trustStatus, const uint8_t* file, size_t size) {
  if (!IsChainRefusal(trustStatus)) return false;
  const auto table = ReadCertificateTable(file, size);
  if (!table) return false;
  const auto signature = ReadSingleSignature(file, size, *table);
  if (!signature) return false;
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(signature->signatureSize),
                          const_cast<BYTE*>(file + signature->signatureOffset)};
  std::vector<BYTE> content;
  return AuthenticateSignedBlob(blob, content, nullptr, SignedContent::kCodeSignature) == 1;
}

}  // namespace bastion
