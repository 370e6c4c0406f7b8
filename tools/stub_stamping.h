// Placing a signed configuration into a code-signed stub, and taking it out
// again, without touching anything the code signature covers.
#ifndef BASTION_TOOLS_STUB_STAMPING_H_
#define BASTION_TOOLS_STUB_STAMPING_H_

#include <cstdint>
#include <string>
#include <vector>

enum class BlobLayout {
  // Markers and content inside a carrier certificate of the signature's
  // certificate set (tools/carrier_certificate.h); the WIN_CERTIFICATE holds
  // the DER alone, zero-padded to 8 bytes, as strict signature checks
  // (EnableCertPaddingCheck) require.
  kCertificate,
  // Markers and content right after the signature's DER in the one
  // WIN_CERTIFICATE entry, padded with zeros to 8 bytes.
  kAppended,
};

// Rebuilds `stub` with `content` between the blob markers in `layout`; fixes
// the entry length, the security directory size and the PE checksum. The
// stub must be signed and hold the markers in either layout (or, with
// `allowUnmarked`, hold none yet: a stub signed elsewhere). An error text
// comes back, and `out` stays untouched, when the input does not qualify.
std::string StampContent(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& content,
                         bool allowUnmarked, std::vector<uint8_t>& out,
                         BlobLayout layout = BlobLayout::kCertificate);

// The filler of a stub that has not been configured: all spaces.
std::vector<uint8_t> UnconfiguredContent();

#endif  // BASTION_TOOLS_STUB_STAMPING_H_
