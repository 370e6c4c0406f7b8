#include "verification/der.h"

namespace bastion {

namespace {

struct Header {
  size_t headerSize;
  size_t valueSize;
};

std::optional<Header> ReadHeader(const uint8_t* data, size_t size) {
  // Single-byte tags only: every element we read (SEQUENCE, OCTET STRING) has one.
  if (size < 2 || (data[0] & 0x1F) == 0x1F) return std::nullopt;
  const uint8_t first = data[1];
  if (first < 0x80) return Header{2, first};
  const size_t lengthBytes = first & 0x7F;
  // 0x80 is the indefinite form, which DER forbids; more than four length
  // bytes describes no element that fits in our files.
  if (lengthBytes == 0 || lengthBytes > 4 || size < 2 + lengthBytes) return std::nullopt;
  size_t value = 0;
  for (size_t i = 0; i < lengthBytes; ++i) value = (value << 8) | data[2 + i];
  return Header{2 + lengthBytes, value};
}

}  // namespace

std::optional<size_t> DerElementSize(const uint8_t* data, size_t size) {
  const auto header = ReadHeader(data, size);
  if (!header || header->valueSize > size - header->headerSize) return std::nullopt;
  return header->headerSize + header->valueSize;
}

std::optional<DerSpan> DerOctetString(const uint8_t* data, size_t size) {
  if (size == 0 || data[0] != 0x04) return std::nullopt;
  const auto header = ReadHeader(data, size);
  if (!header || header->valueSize != size - header->headerSize) return std::nullopt;
  return DerSpan{data + header->headerSize, header->valueSize};
}

}  // namespace bastion
