#include "verification/verify_code_signature.h"

#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/system_library.h"
#include "verification/authenticate_signed_blob.h"
#include "verification/crypt32.h"

namespace bastion {

namespace {

// {00AAC56B-CD44-11D0-8CC2-00C04FC295EE}
constexpr GUID kGenericVerifyV2 = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

// The request without its trailing signature-settings member (48 bytes in
// the 32-bit product), which every WinTrust version accepts.
constexpr DWORD kTrustDataSize = offsetof(WINTRUST_DATA, dwUIContext) + sizeof(DWORD);
static_assert(sizeof(void*) != 4 || kTrustDataSize == 48);

using WinVerifyTrustFn = LONG WINAPI(HWND, GUID*, LPVOID);

WinVerifyTrustFn* BoundWinVerifyTrust() {
  static SystemLibrary wintrust(L"WINTRUST.dll");
  static WinVerifyTrustFn* const fn = [] {
    WinVerifyTrustFn* bound = nullptr;
    BindExport(wintrust, "WinVerifyTrust", bound);
    return bound;
  }();
  return fn;
}

// One attribute of a name as its meaning: the type, and the value as text
// for the string types (whatever string encoding carried it), otherwise the
// value's type and bytes.
struct NameAttribute {
  std::string type;
  DWORD valueType;
  std::vector<BYTE> value;
  bool operator==(const NameAttribute& other) const {
    return type == other.type && valueType == other.valueType && value == other.value;
  }
};
using DecodedName = std::vector<std::vector<NameAttribute>>;

std::optional<DecodedName> DecodeName(const Crypt32& c, const CERT_NAME_BLOB& name) {
  DWORD size = 0;
  if (!c.decodeObject(X509_ASN_ENCODING, X509_UNICODE_NAME, name.pbData, name.cbData, 0, nullptr,
                      nullptr, &size))
    return std::nullopt;
  std::vector<BYTE> buffer(size);
  if (!c.decodeObject(X509_ASN_ENCODING, X509_UNICODE_NAME, name.pbData, name.cbData, 0, nullptr,
                      buffer.data(), &size))
    return std::nullopt;
  const auto* info = reinterpret_cast<const CERT_NAME_INFO*>(buffer.data());
  DecodedName decoded;
  for (DWORD i = 0; i < info->cRDN; ++i) {
    std::vector<NameAttribute> rdn;
    for (DWORD j = 0; j < info->rgRDN[i].cRDNAttr; ++j) {
      const CERT_RDN_ATTR& attribute = info->rgRDN[i].rgRDNAttr[j];
      DWORD valueType = attribute.dwValueType & CERT_RDN_TYPE_MASK;
      DWORD valueSize = attribute.Value.cbData;
      if (valueType >= CERT_RDN_NUMERIC_STRING) {
        valueType = CERT_RDN_UNICODE_STRING;
        // Some decoders count the text's terminating zero, some do not.
        const auto* text = reinterpret_cast<const wchar_t*>(attribute.Value.pbData);
        if (valueSize >= sizeof(wchar_t) && text[valueSize / sizeof(wchar_t) - 1] == L'\0')
          valueSize -= sizeof(wchar_t);
      }
      rdn.push_back({attribute.pszObjId != nullptr ? attribute.pszObjId : "", valueType,
                     std::vector<BYTE>(attribute.Value.pbData, attribute.Value.pbData + valueSize)});
    }
    decoded.push_back(std::move(rdn));
  }
  return decoded;
}

// The attributes of a multi-valued RDN form a set, whose encoded order a
// re-encoding may change.
bool SameName(const DecodedName& a, const DecodedName& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return x.size() == y.size() && std::is_permutation(x.begin(), x.end(), y.begin());
         });
}

// The subject of signer 0's certificate: one from the message's set that
// carries the signer's issuer and serial number and verifies its signature.
// Anyone may add certificates to the set, also copies of the signer's issuer,
// serial number and key under another subject: when two such certificates
// disagree on the subject, there is no one signer.
std::optional<DecodedName> SignerSubject(const Crypt32& c, HCRYPTMSG msg) {
  std::vector<BYTE> signerInfo;
  if (!ReadParam(c, msg, CMSG_SIGNER_CERT_INFO_PARAM, 0, signerInfo)) return std::nullopt;
  auto* signer = reinterpret_cast<CERT_INFO*>(signerInfo.data());
  DWORD count = 0;
  DWORD size = sizeof(count);
  if (!c.msgGetParam(msg, CMSG_CERT_COUNT_PARAM, 0, &count, &size)) return std::nullopt;
  std::optional<DecodedName> subject;
  for (DWORD i = 0; i < count; ++i) {
    std::vector<BYTE> der;
    if (!ReadParam(c, msg, CMSG_CERT_PARAM, i, der)) return std::nullopt;
    ScopedCertificate certificate(c.createCertificate(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())),
                                  {c.freeCertificate});
    if (certificate.Get() == nullptr) continue;
    CERT_INFO* info = certificate.Get()->pCertInfo;
    if (!c.compareName(X509_ASN_ENCODING, &signer->Issuer, &info->Issuer) ||
        !c.compareInteger(&signer->SerialNumber, &info->SerialNumber))
      continue;
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA request = {};
    request.cbSize = sizeof(request);
    request.dwSignerIndex = 0;
    request.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    request.pvSigner = const_cast<CERT_CONTEXT*>(certificate.Get());
    if (!c.msgControl(msg, 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &request)) continue;
    std::optional<DecodedName> name = DecodeName(c, info->Subject);
    if (!name || (subject && !SameName(*subject, *name))) return std::nullopt;
    subject = std::move(name);
  }
  return subject;
}

// The subject of the built-in publisher certificate.
std::optional<DecodedName> PublisherSubject(const Crypt32& c) {
  const char* pem = PackagePublisherCertificate();
  DWORD size = 0;
  if (!c.stringToBinary(pem, 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) return std::nullopt;
  std::vector<BYTE> der(size);
  if (!c.stringToBinary(pem, 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) return std::nullopt;
  ScopedCertificate certificate(c.createCertificate(X509_ASN_ENCODING, der.data(), size), {c.freeCertificate});
  if (certificate.Get() == nullptr) return std::nullopt;
  return DecodeName(c, certificate.Get()->pCertInfo->Subject);
}

// The package's embedded signature as the system's subject interface
// packages read it, for a Windows Installer package as for any other file.
std::optional<DecodedName> PackageSignerSubject(const Crypt32& c, const wchar_t* path) {
  HCRYPTMSG handle = nullptr;
  if (!c.queryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                     CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, nullptr, &handle, nullptr))
    return std::nullopt;
  ScopedCryptMessage message(handle, {c.msgClose});
  return SignerSubject(c, message.Get());
}

}  // namespace

bool VerifyCodeSignature(const wchar_t* path, LONG& status, HANDLE file) {
  WinVerifyTrustFn* winVerifyTrust = BoundWinVerifyTrust();
  if (winVerifyTrust == nullptr) return false;

  WINTRUST_FILE_INFO fileInfo = {};
  fileInfo.cbStruct = sizeof(WINTRUST_FILE_INFO);
  fileInfo.pcwszFilePath = path;
  fileInfo.hFile = file;

  WINTRUST_DATA request = {};
  request.cbStruct = kTrustDataSize;
  request.dwUIChoice = WTD_UI_NONE;
  request.fdwRevocationChecks = WTD_REVOKE_NONE;
  request.dwUnionChoice = WTD_CHOICE_FILE;
  request.pFile = &fileInfo;
  request.dwStateAction = WTD_STATEACTION_IGNORE;
  request.dwProvFlags = WTD_REVOCATION_CHECK_NONE;

  GUID action = kGenericVerifyV2;
  const LONG result =
      winVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &request);
  status = result;
  trace::Message(CodeSignatureTrace::kChecked, trace::kComponents, path, result == 0 ? 1UL : 0UL);
  return result == 0;
}

bool PackageFromOurPublisher(const wchar_t* packagePath) {
  const Crypt32* bound = BoundCrypt32();
  if (bound == nullptr) return false;
  const auto ours = PublisherSubject(*bound);
  if (!ours) return false;
  const auto theirs = PackageSignerSubject(*bound, packagePath);
  return theirs && SameName(*ours, *theirs);
}

}  // namespace bastion
