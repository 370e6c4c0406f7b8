#include "Src/VTDropper/server_certificate_check.h"

#include "diagnostics/trace.h"
#include "verification/authenticate_signed_blob.h"

namespace bastion {

namespace {

// {836579AB-A681-3146-B02F-8986F8BE98D8}
constexpr GUID kTraceGuid = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};

}  // namespace

ServerCertificateCheck ConfigurationSignerCheck(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& document) {
  return [&blob, &document](PCCERT_CONTEXT certificate) {
    trace::Message(kTraceGuid, 16, trace::kSteps);
    return AuthenticateSignedBlob(blob, document, certificate, SignedContent::kConfiguration) == 1;
  };
}

}  // namespace bastion
