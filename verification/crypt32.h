// The crypt32 functions the signature checks call, bound at run time from
// the system's own crypt32.dll, and owners that release what they return.
#ifndef BASTION_VERIFICATION_CRYPT32_H_
#define BASTION_VERIFICATION_CRYPT32_H_

#include <windows.h>

#include <wincrypt.h>

#include <vector>

#include "platform/scoped_handle.h"

namespace bastion {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct Crypt32 {
  decltype(CryptMsgOpenToDecode)* msgOpenToDecode;
  decltype(CryptMsgUpdate)* msgUpdate;
  decltype(CryptMsgGetParam)* msgGetParam;
  decltype(CryptMsgControl)* msgControl;
  decltype(CryptMsgClose)* msgClose;
  decltype(CryptQueryObject)* queryObject;
  decltype(CryptDecodeObjectEx)* decodeObject;
  decltype(CryptStringToBinaryA)* stringToBinary;
  decltype(CertOpenStore)* openStore;
  decltype(CertCloseStore)* closeStore;
  decltype(CertAddEncodedCertificateToStore)* addEncodedCertificate;
  decltype(CertEnumCertificatesInStore)* enumCertificates;
  decltype(CertCreateCertificateContext)* createCertificate;
  decltype(CertFreeCertificateContext)* freeCertificate;
  decltype(CertComparePublicKeyInfo)* comparePublicKey;
  decltype(CertCompareCertificateName)* compareName;
  decltype(CertCompareIntegerBlob)* compareInteger;
  // Not called by the checks, yet part of the set they require: a crypt32
  // without them is not one the checks were made for.
  decltype(CertFindCertificateInStore)* findCertificate;
  decltype(CertGetNameStringA)* getNameString;
};

// Bound once, on first use, for the life of the process; null when crypt32
// lacks any of the functions.
const Crypt32* BoundCrypt32();

// Reads parameter `param` (at `index`) of a message, of unknown size, into
// `out`.
bool ReadParam(const Crypt32& c, HCRYPTMSG msg, DWORD param, DWORD index, std::vector<BYTE>& out);

// Owners of crypt32 objects. crypt32 is bound at run time, so each owner
// releases through the bound function, never a linked one.
using ScopedCryptMessage = ScopedHandle<BoundCloseTraits<HCRYPTMSG, decltype(CryptMsgClose)>>;
using ScopedCertificate = ScopedHandle<BoundCloseTraits<PCCERT_CONTEXT, decltype(CertFreeCertificateContext)>>;

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  decltype(CertCloseStore)* close = nullptr;
  static Handle None() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr; }
  void Close(Handle handle) const { close(handle, CERT_CLOSE_STORE_FORCE_FLAG); }
};
using ScopedCertStore = ScopedHandle<CertStoreTraits>;

}  // namespace bastion

#endif  // BASTION_VERIFICATION_CRYPT32_H_
