// The little DER reading the signature checks need: the extent of one
// element and the bytes of an OCTET STRING.
#ifndef BASTION_VERIFICATION_DER_H_
#define BASTION_VERIFICATION_DER_H_

#include <cstddef>
#include <cstdint>
#include <optional>

namespace bastion {

// Total size (tag, length and value) of the definite-length element at the
// start of `data`; none when it is malformed or does not fit in `size`.
std::optional<size_t> DerElementSize(const uint8_t* data, size_t size);

struct DerSpan {
  const uint8_t* data;
  size_t size;
};

// The value of an OCTET STRING that fills `data` exactly.
std::optional<DerSpan> DerOctetString(const uint8_t* data, size_t size);

}  // namespace bastion

#endif  // BASTION_VERIFICATION_DER_H_
