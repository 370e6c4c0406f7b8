// The byte reading the signature checks need, without the Windows loader:
// the little DER (the extent of one element and the bytes of an OCTET
// STRING) and a PE file's certificate table (its security directory).
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

inline constexpr uint16_t kWinCertRevision2 = 0x0200;
inline constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;
inline constexpr size_t kWinCertHeaderSize = 8;

struct PeCertificateTable {
  size_t checksumOffset;        // file offset of the optional header's CheckSum
  size_t directoryEntryOffset;  // file offset of the security directory entry
  size_t tableOffset;           // the directory's VirtualAddress (a file offset)
  size_t tableSize;             // the directory's Size
};

// The headers' view of the certificate table; none for a file that is not a
// PE image or whose directory points outside the file. A file without a
// table gives offset and size 0.
std::optional<PeCertificateTable> ReadCertificateTable(const uint8_t* file, size_t size);

struct SingleSignature {
  size_t entryLength;      // the WIN_CERTIFICATE's dwLength
  size_t signatureOffset;  // file offset of the DER code signature
  size_t signatureSize;    // its DER size; what follows it in the entry is ours
};

// The layout we sign and stamp: a table at the end of the file holding one
// WIN_CERTIFICATE (revision 2, PKCS signed data) whose entry, rounded up to
// 8 bytes, fills the table, starting with one DER element.
std::optional<SingleSignature> ReadSingleSignature(const uint8_t* file, size_t size,
                                                   const PeCertificateTable& table);

// The PE checksum of `file` as the image loader's CheckSumMappedFile computes
// it, the CheckSum field itself counted as zero.
uint32_t PeChecksum(const uint8_t* file, size_t size, size_t checksumOffset);

}  // namespace bastion

#endif  // BASTION_VERIFICATION_DER_H_
