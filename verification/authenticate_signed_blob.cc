#include "verification/authenticate_signed_blob.h"

#include <cstring>

#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "verification/crypt32.h"
#include "verification/der.h"
#include "verification/pinned_certificates.inc"

namespace bastion {

namespace {

constexpr char kMessageDigestOid[] = "1.2.840.113549.1.9.4";
constexpr char kDataOid[] = "1.2.840.113549.1.7.1";
constexpr char kIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";

// A caller's certificate counts only with the key of the pinned one under test.
bool SameKey(const Crypt32& c, PCCERT_CONTEXT a, PCCERT_CONTEXT b) {
  return c.comparePublicKey(kEncoding, &a->pCertInfo->SubjectPublicKeyInfo,
                            &b->pCertInfo->SubjectPublicKeyInfo) != 0;
}

// Whether the message's content type is the one its use allows.
bool ContentTypeIs(const Crypt32& c, HCRYPTMSG msg, const char* oid) {
  std::vector<BYTE> contentType;
  if (!ReadParam(c, msg, CMSG_INNER_CONTENT_TYPE_PARAM, 0, contentType)) return false;
  contentType.push_back(0);
  return strcmp(reinterpret_cast<const char*>(contentType.data()), oid) == 0;
}

// Signer 0's signed messageDigest attribute against the digest of the
// content actually present. Not every crypt32 compares them while verifying
// (Wine's does not), and a tampered configuration must fail everywhere. A
// signer without signed attributes signs the content digest directly, so
// the signature check covers it. Only plain data is compared: for a code
// signature crypt32 versions disagree on which bytes the computed digest
// covers, and the system's own check of the file compares them itself.
bool ContentMatchesSignedDigest(const Crypt32& c, HCRYPTMSG msg, SignedContent expected) {
  if (expected == SignedContent::kCodeSignature) return true;
  std::vector<BYTE> attributes;
  if (!ReadParam(c, msg, CMSG_SIGNER_AUTH_ATTR_PARAM, 0, attributes)) {
    return GetLastError() == static_cast<DWORD>(CRYPT_E_ATTRIBUTES_MISSING);
  }
  // Wine answers an empty list where Windows reports the attributes missing.
  if (attributes.size() < sizeof(CRYPT_ATTRIBUTES)) return true;
  const auto* list = reinterpret_cast<const CRYPT_ATTRIBUTES*>(attributes.data());
  if (list->cAttr == 0) return true;
  std::vector<BYTE> computed;
  if (!ReadParam(c, msg, CMSG_COMPUTED_HASH_PARAM, 0, computed)) return false;
  for (DWORD i = 0; i < list->cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = list->rgAttr[i];
    if (attribute.pszObjId == nullptr || strcmp(attribute.pszObjId, kMessageDigestOid) != 0) {
      continue;
    }
    if (attribute.cValue != 1) return false;
    const auto digest = DerOctetString(attribute.rgValue[0].pbData, attribute.rgValue[0].cbData);
    return digest && digest->size == computed.size() &&
           memcmp(digest->data, computed.data(), computed.size()) == 0;
  }
  return false;
}

void AddPemCertificate(const Crypt32& c, HCERTSTORE store, const char* pem) {
  DWORD size = 0;
  if (!c.stringToBinary(pem, 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    trace::Message(SignedBlobTrace::kPinnedCertificateSizeFailed, trace::kComponents, GetLastError());
    return;
  }
  std::vector<BYTE> der(size);
  if (!c.stringToBinary(pem, 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
    trace::Message(SignedBlobTrace::kPinnedCertificateConversionFailed, trace::kComponents, GetLastError());
    return;
  }
  if (c.addEncodedCertificate(store, kEncoding, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING,
                              nullptr)) {
    trace::Message(SignedBlobTrace::kPinnedCertificateAdded, trace::kComponents);
  } else {
    trace::Message(SignedBlobTrace::kPinnedCertificateNotAdded, trace::kComponents);
  }
}

}  // namespace

int AuthenticateSignedBlobWith(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& content,
                               PCCERT_CONTEXT signer, SignedContent expected,
                               const char* const* certificates, size_t certificateCount) {
  const Crypt32* bound = BoundCrypt32();
  if (bound == nullptr) {
    trace::Message(SignedBlobTrace::kCryptoFunctionMissing, trace::kSteps);
    return 0;
  }
  const Crypt32& c = *bound;

  // Declared in the reverse of the release order: store, signer information, message.
  ScopedCryptMessage message(c.msgOpenToDecode(kEncoding, 0, 0, 0, nullptr, nullptr), {c.msgClose});
  if (message.Get() == nullptr) {
    trace::Message(SignedBlobTrace::kMessageNotOpened, trace::kComponents, GetLastError());
    return 0;
  }
  trace::Message(SignedBlobTrace::kMessageOpened, trace::kComponents);

  if (!c.msgUpdate(message.Get(), blob.pbData, blob.cbData, TRUE)) {
    trace::Message(SignedBlobTrace::kBlobRejected, trace::kComponents, GetLastError());
    return 0;
  }
  trace::Message(SignedBlobTrace::kBlobDecoded, trace::kComponents);

  DWORD contentSize = 0;
  if (!c.msgGetParam(message.Get(), CMSG_CONTENT_PARAM, 0, nullptr, &contentSize)) {
    trace::Message(SignedBlobTrace::kContentSizeNotRead, trace::kComponents, GetLastError());
    return 0;
  }
  trace::Message(SignedBlobTrace::kContentSizeRead, trace::kComponents);
  content.assign(static_cast<size_t>(contentSize) + 1, 0);
  if (!c.msgGetParam(message.Get(), CMSG_CONTENT_PARAM, 0, content.data(), &contentSize)) {
    trace::Message(SignedBlobTrace::kContentNotRead, trace::kComponents, GetLastError());
    return 0;
  }
  trace::Message(SignedBlobTrace::kContentRead, trace::kComponents, contentSize);
  trace::Message(SignedBlobTrace::kContent, trace::kComponents,
                 reinterpret_cast<const char*>(content.data()));

  DWORD signerInfoSize = 0;
  if (!c.msgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &signerInfoSize)) {
    trace::Message(SignedBlobTrace::kSignerInfoSizeNotRead, trace::kComponents, GetLastError());
    return 0;
  }
  trace::Message(SignedBlobTrace::kSignerInfoRead, trace::kComponents, signerInfoSize);
  std::vector<BYTE> signerInfo(signerInfoSize);
  if (!c.msgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, signerInfo.data(),
                     &signerInfoSize)) {
    trace::Message(SignedBlobTrace::kSignerInfoNotRead, trace::kComponents, GetLastError());
    return 0;
  }
  const char* expectedType = expected == SignedContent::kConfiguration ? kDataOid : kIndirectDataOid;
  if (!ContentTypeIs(c, message.Get(), expectedType)) {
    trace::Message(SignedBlobTrace::kContentTypeRefused, trace::kComponents);
    return 0;
  }
  const bool digestMatches = ContentMatchesSignedDigest(c, message.Get(), expected);

  ScopedCertStore store(c.openStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr), {c.closeStore});
  if (store.Get() == nullptr) {
    trace::Message(SignedBlobTrace::kStoreNotCreated, trace::kComponents);
    return 0;
  }
  for (size_t i = 0; i < certificateCount; ++i) AddPemCertificate(c, store.Get(), certificates[i]);

  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = c.enumCertificates(store.Get(), certificate)) != nullptr) {
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA request = {};
    request.cbSize = sizeof(request);
    request.dwSignerIndex = 0;
    request.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    request.pvSigner = const_cast<CERT_CONTEXT*>(signer != nullptr ? signer : certificate);
    bool verified = false;
    if (signer != nullptr && !SameKey(c, signer, certificate)) {
      SetLastError(static_cast<DWORD>(CRYPT_E_NO_MATCH));
    } else {
      verified = c.msgControl(message.Get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &request) != 0;
    }
    if (verified && !digestMatches) {
      SetLastError(static_cast<DWORD>(CRYPT_E_HASH_VALUE));
      verified = false;
    }
    if (verified) {
      trace::Message(SignedBlobTrace::kSignatureVerified, trace::kComponents);
      if (signer != nullptr) trace::Message(SignedBlobTrace::kVerifiedWithCallersCertificate, trace::kSteps);
      c.freeCertificate(certificate);
      return 1;
    }
    trace::Message(SignedBlobTrace::kSignatureNotVerified, trace::kComponents, GetLastError());
  }
  return 0;
}

const char* PackagePublisherCertificate() { return kPackagePublisher; }

int AuthenticateSignedBlob(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& content,
                           PCCERT_CONTEXT signer, SignedContent expected) {
  return AuthenticateSignedBlobWith(blob, content, signer, expected, kPinnedCertificates,
                                    sizeof(kPinnedCertificates) / sizeof(kPinnedCertificates[0]));
}

}  // namespace bastion
