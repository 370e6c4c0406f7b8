#include "tools/carrier_certificate.h"

#include <algorithm>
#include <string>

#include "Src/VTDropper/config_blob.h"
#include "verification/der.h"

using namespace bastion;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Element(uint8_t tag, const Bytes& value) {
  Bytes out{tag};
  const size_t n = value.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else {
    Bytes length;
    for (size_t rest = n; rest != 0; rest >>= 8) length.insert(length.begin(), static_cast<uint8_t>(rest));
    out.push_back(static_cast<uint8_t>(0x80 | length.size()));
    out.insert(out.end(), length.begin(), length.end());
  }
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

const Bytes kSha256WithRsa = {0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7,
                              0x0D, 0x01, 0x01, 0x0B, 0x05, 0x00};
const Bytes kRsaEncryption = {0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7,
                              0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};
const Bytes kSignedDataOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
// 2.25.180190979398398592384751742146121183593, a UUID-based OID of our own.
const Bytes kCarrierExtensionOid = {0x06, 0x14, 0x69, 0x82, 0x8F, 0x8F, 0xC2, 0xCC, 0xBD,
                                    0xF2, 0x8A, 0xD9, 0xF9, 0x91, 0xB1, 0xF6, 0x85, 0xD6,
                                    0xA1, 0xF8, 0xE2, 0x69};

struct Built {
  Bytes der;
  size_t regionOffset;
};

Built Build(const Bytes& region) {
  const Bytes commonName = {0x06, 0x03, 0x55, 0x04, 0x03};
  const Bytes name =
      Element(0x30, Element(0x31, Element(0x30, Concat({commonName, Element(0x0C, Text("BastionSetup configuration carrier"))}))));
  const Bytes time = Element(0x17, Text("000101000000Z"));
  // A well-formed RSA key that nothing will ever use.
  Bytes modulus(129, 0xC5);
  modulus[0] = 0;
  const Bytes key = Element(0x30, Concat({Element(0x02, modulus), Element(0x02, {0x01, 0x00, 0x01})}));
  Bytes keyBits(1 + key.size(), 0);  // no unused bits
  std::copy(key.begin(), key.end(), keyBits.begin() + 1);
  const Bytes head = Concat({Bytes{0xA0, 0x03, 0x02, 0x01, 0x02}, Bytes{0x02, 0x01, 0x01}, kSha256WithRsa, name,
                             Element(0x30, Concat({time, time})), name,
                             Element(0x30, Concat({kRsaEncryption, Element(0x03, keyBits)}))});
  const Bytes extensions =
      Element(0xA3, Element(0x30, Element(0x30, Concat({kCarrierExtensionOid, Element(0x04, region)}))));
  const Bytes tbs = Element(0x30, Concat({head, extensions}));
  Bytes signature(129, 0);
  const Bytes der = Element(0x30, Concat({tbs, kSha256WithRsa, Element(0x03, signature)}));
  // The region is the tail of the extensions, which end the TBS.
  const size_t regionOffset = (der.size() - tbs.size() - kSha256WithRsa.size() - Element(0x03, signature).size()) +
                              tbs.size() - region.size();
  return {der, regionOffset};
}

const Built& Model() {
  static const Built model = Build(Bytes(CarrierRegionSize(), 0));
  return model;
}

bool IsCarrier(const uint8_t* cert, size_t size) {
  const Built& model = Model();
  if (size != model.der.size()) return false;
  const size_t regionEnd = model.regionOffset + CarrierRegionSize();
  return std::equal(model.der.begin(), model.der.begin() + model.regionOffset, cert) &&
         std::equal(model.der.begin() + regionEnd, model.der.end(), cert + regionEnd);
}

// The value of the element of `tag` at the start of [p, p + size).
struct Value {
  const uint8_t* data;
  size_t size;
  size_t total;
};

std::optional<Value> Read(const uint8_t* p, size_t size, uint8_t tag) {
  const auto total = DerElementSize(p, size);
  if (!total || p[0] != tag) return std::nullopt;
  const size_t header = p[1] < 0x80 ? 2 : 2 + (p[1] & 0x7F);
  return Value{p + header, *total - header, *total};
}

}  // namespace

size_t CarrierRegionSize() { return kBeginMarkerLength + kUnconfiguredFillerLength + kEndMarkerLength; }

std::vector<uint8_t> CarrierCertificate(const std::vector<uint8_t>& region) { return Build(region).der; }

size_t CarrierRegionOffset() { return Model().regionOffset; }

std::optional<SignatureCertificates> SplitSignature(const uint8_t* der, size_t size) {
  const auto info = Read(der, size, 0x30);
  if (!info || info->total != size) return std::nullopt;
  const auto type = Read(info->data, info->size, 0x06);
  if (!type || !std::equal(kSignedDataOid.begin(), kSignedDataOid.end(), info->data, info->data + type->total)) {
    return std::nullopt;
  }
  const auto wrapper = Read(info->data + type->total, info->size - type->total, 0xA0);
  if (!wrapper || type->total + wrapper->total != info->size) return std::nullopt;
  const auto signedData = Read(wrapper->data, wrapper->size, 0x30);
  if (!signedData || signedData->total != wrapper->size) return std::nullopt;

  SignatureCertificates parts;
  parts.contentType.assign(info->data, info->data + type->total);
  const uint8_t* p = signedData->data;
  const uint8_t* const end = p + signedData->size;
  // version, digestAlgorithms, encapContentInfo
  for (int i = 0; i < 3; ++i) {
    const auto size = DerElementSize(p, static_cast<size_t>(end - p));
    if (!size) return std::nullopt;
    p += *size;
  }
  parts.before.assign(signedData->data, p);
  if (p < end && *p == 0xA0) {
    const auto set = Read(p, static_cast<size_t>(end - p), 0xA0);
    if (!set) return std::nullopt;
    for (const uint8_t* c = set->data; c < set->data + set->size;) {
      const auto size = DerElementSize(c, static_cast<size_t>(set->data + set->size - c));
      if (!size) return std::nullopt;
      auto& list = IsCarrier(c, *size) ? parts.carriers : parts.certificates;
      list.emplace_back(c, c + *size);
      c += *size;
    }
    p += set->total;
  }
  parts.after.assign(p, end);
  return parts;
}

std::vector<uint8_t> JoinSignature(const SignatureCertificates& parts, const std::vector<uint8_t>& extra) {
  Bytes set;
  for (const auto& cert : parts.certificates) set.insert(set.end(), cert.begin(), cert.end());
  set.insert(set.end(), extra.begin(), extra.end());
  Bytes signedData = parts.before;
  if (!set.empty()) {
    const Bytes element = Element(0xA0, set);
    signedData.insert(signedData.end(), element.begin(), element.end());
  }
  signedData.insert(signedData.end(), parts.after.begin(), parts.after.end());
  return Element(0x30, Concat({parts.contentType, Element(0xA0, Element(0x30, signedData))}));
}
