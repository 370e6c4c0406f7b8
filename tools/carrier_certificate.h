// The configuration region inside a code signature: an extra certificate in
// the SignedData's certificate set, which the signature does not cover and
// no signer lookup by issuer and serial number ever finds. Its subject and
// issuer are "CN=BastionSetup configuration carrier"; the region lies in the
// octet string of one private extension and has a fixed size, so that
// restamping never moves anything else.
#ifndef BASTION_TOOLS_CARRIER_CERTIFICATE_H_
#define BASTION_TOOLS_CARRIER_CERTIFICATE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The region's size: both markers and the unconfigured filler.
size_t CarrierRegionSize();

// The carrier certificate holding `region` (CarrierRegionSize() bytes), and
// where the region starts inside it.
std::vector<uint8_t> CarrierCertificate(const std::vector<uint8_t>& region);
size_t CarrierRegionOffset();

// A code signature (DER ContentInfo of SignedData) cut where its
// certificate set can be rebuilt: everything else is kept byte for byte,
// so the signature stays valid.
struct SignatureCertificates {
  std::vector<uint8_t> contentType;                 // the ContentInfo's OID element
  std::vector<uint8_t> before;                      // version, digest algorithms, content
  std::vector<std::vector<uint8_t>> certificates;   // the set's elements, carriers removed
  std::vector<std::vector<uint8_t>> carriers;       // carrier certificates found in the set
  std::vector<uint8_t> after;                       // CRLs and signer infos
};

// None when `der` is not a SignedData ContentInfo with definite lengths.
std::optional<SignatureCertificates> SplitSignature(const uint8_t* der, size_t size);

// The signature again, with `extra` appended to its certificate set.
std::vector<uint8_t> JoinSignature(const SignatureCertificates& parts, const std::vector<uint8_t>& extra);

#endif  // BASTION_TOOLS_CARRIER_CERTIFICATE_H_
