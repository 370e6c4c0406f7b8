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

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr size_t kSecurityDirectoryIndex = 4;

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

std::optional<PeCertificateTable> ReadCertificateTable(const uint8_t* file, size_t size) {
  if (size < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
  const size_t peOffset = Read32(file + 0x3C);
  constexpr size_t kFileHeaderSize = 20;
  if (peOffset > size || size - peOffset < 4 + kFileHeaderSize) return std::nullopt;
  if (Read32(file + peOffset) != 0x00004550) return std::nullopt;  // "PE\0\0"
  const size_t optionalSize = Read16(file + peOffset + 4 + 16);
  const size_t optional = peOffset + 4 + kFileHeaderSize;
  if (size - optional < optionalSize || optionalSize < 2) return std::nullopt;
  const uint16_t magic = Read16(file + optional);
  size_t directoriesAt;
  if (magic == 0x10B) {
    directoriesAt = 96;
  } else if (magic == 0x20B) {
    directoriesAt = 112;
  } else {
    return std::nullopt;
  }
  if (optionalSize < directoriesAt) return std::nullopt;
  const size_t directoryCount = Read32(file + optional + directoriesAt - 4);
  const size_t entry = optional + directoriesAt + kSecurityDirectoryIndex * 8;
  if (directoryCount <= kSecurityDirectoryIndex || entry + 8 > optional + optionalSize) {
    return std::nullopt;
  }
  PeCertificateTable table{optional + 64, entry, Read32(file + entry), Read32(file + entry + 4)};
  if (table.tableOffset > size || table.tableSize > size - table.tableOffset) return std::nullopt;
  return table;
}

std::optional<SingleSignature> ReadSingleSignature(const uint8_t* file, size_t size,
                                                   const PeCertificateTable& table) {
  if (table.tableSize < kWinCertHeaderSize || table.tableOffset + table.tableSize != size) {
    return std::nullopt;
  }
  const uint8_t* entry = file + table.tableOffset;
  const size_t length = Read32(entry);
  if (length < kWinCertHeaderSize || length > table.tableSize) return std::nullopt;
  if (((length + 7) & ~static_cast<size_t>(7)) != table.tableSize) return std::nullopt;
  if (Read16(entry + 4) != kWinCertRevision2 || Read16(entry + 6) != kWinCertTypePkcsSignedData) {
    return std::nullopt;
  }
  const auto der = DerElementSize(entry + kWinCertHeaderSize, length - kWinCertHeaderSize);
  if (!der || entry[kWinCertHeaderSize] != 0x30) return std::nullopt;
  return SingleSignature{length, table.tableOffset + kWinCertHeaderSize, *der};
}

uint32_t PeChecksum(const uint8_t* file, size_t size, size_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i < size; i += 2) {
    uint32_t word;
    if (i + 1 < size) {
      word = Read16(file + i);
    } else {
      word = file[i];
    }
    if (i >= checksumOffset && i < checksumOffset + 4) word = 0;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + size);
}

}  // namespace bastion
