#include "Src/VTDropper/server_certificate_check.h"

#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "verification/authenticate_signed_blob.h"

namespace bastion {

ServerCertificateCheck ConfigurationSignerCheck(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& document) {
  return [&blob, &document](PCCERT_CONTEXT certificate) {
    trace::Message(ProcedureTrace::kCheckingServerCertificate, trace::kSteps);
    return AuthenticateSignedBlob(blob, document, certificate, SignedContent::kConfiguration) == 1;
  };
}

}  // namespace bastion
