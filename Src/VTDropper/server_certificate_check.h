// The check of the download server's certificate when the program, not the
// system, decides: the server must present a certificate with a pinned key
// that signed the embedded configuration.
#ifndef BASTION_SRC_VTDROPPER_SERVER_CERTIFICATE_CHECK_H_
#define BASTION_SRC_VTDROPPER_SERVER_CERTIFICATE_CHECK_H_

#include <windows.h>

#include <wincrypt.h>

#include <vector>

#include "Src/Httphelper/http_helper.h"

namespace bastion {

// The check holds `blob` and `document` by reference: both must outlive it.
// `document` receives the configuration content as the signature check's
// output.
ServerCertificateCheck ConfigurationSignerCheck(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& document);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_SERVER_CERTIFICATE_CHECK_H_
