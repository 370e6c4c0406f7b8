#include "verification/crypt32.h"

#include "platform/system_library.h"

namespace bastion {

namespace {

bool Bind(const SystemLibrary& library, Crypt32& c) {
  return BindExport(library, "CryptMsgOpenToDecode", c.msgOpenToDecode) &
         BindExport(library, "CryptMsgUpdate", c.msgUpdate) &
         BindExport(library, "CryptMsgGetParam", c.msgGetParam) &
         BindExport(library, "CryptMsgControl", c.msgControl) &
         BindExport(library, "CryptMsgClose", c.msgClose) &
         BindExport(library, "CryptQueryObject", c.queryObject) &
         BindExport(library, "CryptDecodeObjectEx", c.decodeObject) &
         BindExport(library, "CryptStringToBinaryA", c.stringToBinary) &
         BindExport(library, "CertOpenStore", c.openStore) &
         BindExport(library, "CertCloseStore", c.closeStore) &
         BindExport(library, "CertAddEncodedCertificateToStore", c.addEncodedCertificate) &
         BindExport(library, "CertEnumCertificatesInStore", c.enumCertificates) &
         BindExport(library, "CertCreateCertificateContext", c.createCertificate) &
         BindExport(library, "CertFreeCertificateContext", c.freeCertificate) &
         BindExport(library, "CertComparePublicKeyInfo", c.comparePublicKey) &
         BindExport(library, "CertCompareCertificateName", c.compareName) &
         BindExport(library, "CertCompareIntegerBlob", c.compareInteger) &
         BindExport(library, "CertFindCertificateInStore", c.findCertificate) &
         BindExport(library, "CertGetNameStringA", c.getNameString);
}

}  // namespace

const Crypt32* BoundCrypt32() {
  static SystemLibrary library(L"crypt32.dll");
  static Crypt32 functions = {};
  static const bool complete = Bind(library, functions);
  return complete ? &functions : nullptr;
}

bool ReadParam(const Crypt32& c, HCRYPTMSG msg, DWORD param, DWORD index, std::vector<BYTE>& out) {
  DWORD size = 0;
  if (!c.msgGetParam(msg, param, index, nullptr, &size)) return false;
  out.assign(size, 0);
  return c.msgGetParam(msg, param, index, out.data(), &size) != 0;
}

}  // namespace bastion
