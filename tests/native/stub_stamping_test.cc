// Stamping and the certificate-table reading under it, on small synthetic
// PE files shaped like the signed product.
#include "tools/stub_stamping.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Src/VTDropper/config_blob.h"
#include "tools/carrier_certificate.h"
#include "verification/der.h"

using namespace bastion;

namespace {

constexpr size_t kPeOffset = 0x40;
constexpr size_t kOptional = kPeOffset + 24;
constexpr size_t kSecurityEntry = kOptional + 112 + 4 * 8;

uint32_t Read32(const std::vector<uint8_t>& f, size_t at) {
  uint32_t v;
  memcpy(&v, f.data() + at, 4);
  return v;
}

void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) { memcpy(f.data() + at, &v, 4); }

void Put16(std::vector<uint8_t>& f, size_t at, uint16_t v) { memcpy(f.data() + at, &v, 2); }

// A PE32+ image of `bodySize` bytes, then a certificate table holding one
// entry: the header and a DER SEQUENCE of `derValue` bytes, then `tail`.
std::vector<uint8_t> MakeSignedPe(size_t derValue = 300, const std::vector<uint8_t>& tail = {},
                                  size_t bodySize = 0x400) {
  std::vector<uint8_t> f(bodySize, 0xCC);
  f[0] = 'M';
  f[1] = 'Z';
  Put32(f, 0x3C, kPeOffset);
  Put32(f, kPeOffset, 0x00004550);
  Put16(f, kPeOffset + 4 + 16, 240);  // SizeOfOptionalHeader
  Put16(f, kOptional, 0x20B);
  Put32(f, kOptional + 108, 16);  // NumberOfRvaAndSizes
  const size_t table = f.size();
  std::vector<uint8_t> entry(8, 0);
  entry.push_back(0x30);
  entry.push_back(0x82);
  entry.push_back(static_cast<uint8_t>(derValue >> 8));
  entry.push_back(static_cast<uint8_t>(derValue));
  entry.insert(entry.end(), derValue, 0xAB);
  entry.insert(entry.end(), tail.begin(), tail.end());
  const auto length = static_cast<uint32_t>(entry.size());
  while (entry.size() % 8 != 0) entry.push_back(0);
  f.insert(f.end(), entry.begin(), entry.end());
  Put32(f, table, length);
  Put16(f, table + 4, kWinCertRevision2);
  Put16(f, table + 6, kWinCertTypePkcsSignedData);
  Put32(f, kSecurityEntry, static_cast<uint32_t>(table));
  Put32(f, kSecurityEntry + 4, static_cast<uint32_t>(entry.size()));
  return f;
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(DerTest, ElementSize) {
  const uint8_t shortForm[] = {0x30, 0x02, 0x05, 0x00, 0xFF};
  EXPECT_EQ(DerElementSize(shortForm, sizeof(shortForm)), 4u);
  const uint8_t longForm[] = {0x30, 0x81, 0x01, 0x00};
  EXPECT_EQ(DerElementSize(longForm, sizeof(longForm)), 4u);
  const uint8_t truncated[] = {0x30, 0x82, 0x01, 0x00, 0x00};
  EXPECT_EQ(DerElementSize(truncated, sizeof(truncated)), std::nullopt);
  const uint8_t indefinite[] = {0x30, 0x80, 0x00, 0x00};
  EXPECT_EQ(DerElementSize(indefinite, sizeof(indefinite)), std::nullopt);
  const uint8_t hugeLength[] = {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_EQ(DerElementSize(hugeLength, sizeof(hugeLength)), std::nullopt);
  EXPECT_EQ(DerElementSize(shortForm, 1), std::nullopt);
}

TEST(DerTest, OctetStringMustFillTheValue) {
  const uint8_t digest[] = {0x04, 0x03, 1, 2, 3};
  const auto span = DerOctetString(digest, sizeof(digest));
  ASSERT_TRUE(span);
  EXPECT_EQ(span->size, 3u);
  EXPECT_EQ(span->data, digest + 2);
  EXPECT_FALSE(DerOctetString(digest, 4));
  const uint8_t notOctets[] = {0x30, 0x01, 0x00};
  EXPECT_FALSE(DerOctetString(notOctets, sizeof(notOctets)));
}

TEST(PeCertificateTableTest, ReadsTheOneEntry) {
  const auto f = MakeSignedPe();
  const auto table = ReadCertificateTable(f.data(), f.size());
  ASSERT_TRUE(table);
  EXPECT_EQ(table->tableOffset, 0x400u);
  EXPECT_EQ(table->directoryEntryOffset, kSecurityEntry);
  EXPECT_EQ(table->checksumOffset, kOptional + 64);
  const auto signature = ReadSingleSignature(f.data(), f.size(), *table);
  ASSERT_TRUE(signature);
  EXPECT_EQ(signature->signatureOffset, 0x408u);
  EXPECT_EQ(signature->signatureSize, 304u);
}

TEST(PeCertificateTableTest, RejectsOtherShapes) {
  auto f = MakeSignedPe();
  EXPECT_FALSE(ReadCertificateTable(f.data(), 0x3F));
  auto notPe = f;
  notPe[kPeOffset] = 'X';
  EXPECT_FALSE(ReadCertificateTable(notPe.data(), notPe.size()));
  auto outside = f;
  Put32(outside, kSecurityEntry + 4, 0x100000);
  EXPECT_FALSE(ReadCertificateTable(outside.data(), outside.size()));

  const auto table = *ReadCertificateTable(f.data(), f.size());
  auto wrongType = f;
  Put16(wrongType, table.tableOffset + 6, 1);
  EXPECT_FALSE(ReadSingleSignature(wrongType.data(), wrongType.size(), table));
  // A second entry after the first: the first no longer fills the table.
  auto twoEntries = f;
  twoEntries.insert(twoEntries.end(), f.begin() + table.tableOffset, f.end());
  Put32(twoEntries, kSecurityEntry + 4, static_cast<uint32_t>(2 * table.tableSize));
  const auto twoTable = *ReadCertificateTable(twoEntries.data(), twoEntries.size());
  EXPECT_FALSE(ReadSingleSignature(twoEntries.data(), twoEntries.size(), twoTable));
  // Data after the table.
  auto trailing = f;
  trailing.push_back(0);
  EXPECT_FALSE(ReadSingleSignature(trailing.data(), trailing.size(), table));
}

constexpr BlobLayout kAppended = BlobLayout::kAppended;

TEST(StubStampingTest, AppendedStampUnstampAndRestamp) {
  const auto signedPe = MakeSignedPe();
  std::vector<uint8_t> unconfigured;
  ASSERT_EQ(StampContent(signedPe, UnconfiguredContent(), true, unconfigured, kAppended), "");

  const auto table = *ReadCertificateTable(unconfigured.data(), unconfigured.size());
  const auto bounds = LocateBlob(unconfigured.data(), unconfigured.size());
  ASSERT_TRUE(bounds);
  EXPECT_EQ(bounds->offset, 0x408u + 304 + kBeginMarkerLength);
  EXPECT_EQ(bounds->length, kUnconfiguredFillerLength);
  EXPECT_EQ(unconfigured.size() % 8, 0u);
  EXPECT_EQ(table.tableSize, unconfigured.size() - 0x400);
  EXPECT_EQ(Read32(unconfigured, 0x400), table.tableSize);
  EXPECT_EQ(Read32(unconfigured, table.checksumOffset),
            PeChecksum(unconfigured.data(), unconfigured.size(), table.checksumOffset));
  // Besides the length fields and the checksum, everything up to the
  // signature's end is the signed stub's.
  EXPECT_TRUE(std::equal(signedPe.begin() + kSecurityEntry + 8, signedPe.begin() + 0x400,
                         unconfigured.begin() + kSecurityEntry + 8));
  EXPECT_TRUE(std::equal(signedPe.begin() + 0x404, signedPe.begin() + 0x408 + 304,
                         unconfigured.begin() + 0x404));

  const auto config = Bytes("signed configuration");
  std::vector<uint8_t> stamped;
  ASSERT_EQ(StampContent(unconfigured, config, false, stamped, kAppended), "");
  const auto stampedBounds = *LocateBlob(stamped.data(), stamped.size());
  EXPECT_EQ(std::string(stamped.begin() + stampedBounds.offset,
                        stamped.begin() + stampedBounds.offset + stampedBounds.length),
            "signed configuration");
  EXPECT_EQ(stamped.size() % 8, 0u);

  std::vector<uint8_t> restamped;
  ASSERT_EQ(StampContent(stamped, Bytes("other"), false, restamped, kAppended), "");
  std::vector<uint8_t> back;
  ASSERT_EQ(StampContent(restamped, UnconfiguredContent(), false, back, kAppended), "");
  EXPECT_EQ(back, unconfigured);
}

TEST(StubStampingTest, RejectsBadInputAndLeavesTheOutputAlone) {
  const auto signedPe = MakeSignedPe();
  std::vector<uint8_t> unconfigured;
  ASSERT_EQ(StampContent(signedPe, UnconfiguredContent(), true, unconfigured, kAppended), "");
  const std::vector<uint8_t> sentinel = {1, 2, 3};
  auto expectRejected = [&](const std::vector<uint8_t>& stub, const std::vector<uint8_t>& content,
                            bool allowUnmarked, const std::string& error) {
    std::vector<uint8_t> out = sentinel;
    EXPECT_EQ(StampContent(stub, content, allowUnmarked, out, kAppended), error);
    EXPECT_EQ(out, sentinel);
  };
  const auto config = Bytes("cfg");
  expectRejected(Bytes("not a PE file at all, just text that is long enough to have a header..."),
                 config, false, "not a PE file");
  auto unsignedPe = signedPe;
  unsignedPe.resize(0x400);
  Put32(unsignedPe, kSecurityEntry, 0);
  Put32(unsignedPe, kSecurityEntry + 4, 0);
  expectRejected(unsignedPe, config, true, "the file is not code-signed");
  auto twoEntries = unconfigured;
  twoEntries.insert(twoEntries.end(), signedPe.begin() + 0x400, signedPe.end());
  Put32(twoEntries, kSecurityEntry + 4, static_cast<uint32_t>(twoEntries.size() - 0x400));
  expectRejected(twoEntries, config, false,
                 "the certificate table is not one PKCS #7 entry at the end of the file");
  expectRejected(signedPe, config, false, "the blob markers are missing");
  expectRejected(unconfigured, std::vector<uint8_t>(kUnconfiguredFillerLength + 1, 'x'), false,
                 "the signed configuration is too large (49963 bytes; at most 49962)");
  expectRejected(unconfigured, Bytes("a" + EndMarker() + "b"), false,
                 "a blob marker occurs elsewhere in the file or inside the configuration");
  auto markerInCode = unconfigured;
  const std::string begin = BeginMarker();
  std::copy(begin.begin(), begin.end(), markerInCode.begin() + 0x200);
  expectRejected(markerInCode, config, false,
                 "a blob marker occurs elsewhere in the file or inside the configuration");
  expectRejected(MakeSignedPe(300, Bytes(BeginMarker() + "no end")), config, false,
                 "the end marker is missing");
  expectRejected(MakeSignedPe(300, Bytes(BeginMarker() + "x" + EndMarker() + "junk")), config, false,
                 "data follows the end marker");
  expectRejected(MakeSignedPe(300, Bytes("junk")), config, true, "data follows the code signature");
  std::vector<uint8_t> out;
  EXPECT_EQ(StampContent(signedPe, config, true, out), "the code signature is not a PKCS #7 SignedData");
}

// A PE whose one entry holds a SignedData ContentInfo with one certificate
// (a stand-in) and an empty signer set: the parts stamping must keep.
std::vector<uint8_t> MakeSignedDataPe() {
  auto element = [](uint8_t tag, std::vector<uint8_t> value) {
    std::vector<uint8_t> out = {tag};
    if (value.size() >= 0x80) out.push_back(0x82), out.push_back(static_cast<uint8_t>(value.size() >> 8));
    out.push_back(static_cast<uint8_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
    return out;
  };
  auto concat = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const std::vector<uint8_t> signedDataOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
  const std::vector<uint8_t> signerInfos = element(0x31, std::vector<uint8_t>(200, 0x5A));
  const auto signedData = concat({{0x02, 0x01, 0x01, 0x31, 0x00, 0x30, 0x02, 0x06, 0x00},
                                  element(0xA0, element(0x30, {0x02, 0x01, 0x07})), signerInfos});
  const auto der = element(0x30, concat({signedDataOid, element(0xA0, element(0x30, signedData))}));
  auto f = MakeSignedPe(der.size() - 4);
  std::copy(der.begin(), der.end(), f.begin() + 0x408);
  return f;
}

// What strict signature checks require: the entry is the DER and its zero
// padding to 8 bytes, and the table is the entry at the end of the file.
void ExpectStrictEntry(const std::vector<uint8_t>& f) {
  const auto table = *ReadCertificateTable(f.data(), f.size());
  const auto signature = ReadSingleSignature(f.data(), f.size(), table);
  ASSERT_TRUE(signature);
  const size_t derEnd = signature->signatureOffset + signature->signatureSize;
  EXPECT_EQ(signature->entryLength, (kWinCertHeaderSize + signature->signatureSize + 7) / 8 * 8);
  EXPECT_EQ(table.tableSize, signature->entryLength);
  EXPECT_EQ(table.tableOffset + table.tableSize, f.size());
  EXPECT_TRUE(std::all_of(f.begin() + derEnd, f.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(Read32(f, table.checksumOffset), PeChecksum(f.data(), f.size(), table.checksumOffset));
}

std::string Content(const std::vector<uint8_t>& f) {
  const auto bounds = *LocateBlob(f.data(), f.size());
  return std::string(f.begin() + bounds.offset, f.begin() + bounds.offset + bounds.length);
}

TEST(StubStampingTest, CarrierCertificateLayout) {
  const auto signedPe = MakeSignedDataPe();
  std::vector<uint8_t> prepared;
  ASSERT_EQ(StampContent(signedPe, UnconfiguredContent(), true, prepared), "");
  ExpectStrictEntry(prepared);
  EXPECT_EQ(Content(prepared), std::string(kUnconfiguredFillerLength, ' '));
  // The signature's own parts stay byte for byte; the carrier joins the set.
  auto signatureOf = [](const std::vector<uint8_t>& f) {
    const auto table = *ReadCertificateTable(f.data(), f.size());
    const auto signature = *ReadSingleSignature(f.data(), f.size(), table);
    return SplitSignature(f.data() + signature.signatureOffset, signature.signatureSize);
  };
  const auto original = signatureOf(signedPe).value();
  const auto parts = signatureOf(prepared).value();
  EXPECT_EQ(parts.before, original.before);
  EXPECT_EQ(parts.after, original.after);
  EXPECT_EQ(parts.certificates, original.certificates);
  ASSERT_EQ(parts.carriers.size(), 1u);

  std::vector<uint8_t> stamped, restamped, back;
  ASSERT_EQ(StampContent(prepared, Bytes("signed configuration"), false, stamped), "");
  ExpectStrictEntry(stamped);
  EXPECT_EQ(Content(stamped), "signed configuration");
  // A fixed region: nothing moves.
  EXPECT_EQ(stamped.size(), prepared.size());
  EXPECT_EQ(LocateBlob(stamped.data(), stamped.size())->offset, LocateBlob(prepared.data(), prepared.size())->offset);
  ASSERT_EQ(StampContent(stamped, Bytes("other"), false, restamped, kAppended), "");
  EXPECT_EQ(Content(restamped), "other");
  ASSERT_EQ(StampContent(restamped, UnconfiguredContent(), false, back), "");
  EXPECT_EQ(back, prepared);

  std::vector<uint8_t> out;
  EXPECT_EQ(StampContent(signedPe, Bytes("x"), false, out), "the blob markers are missing");
  auto spoiled = stamped;
  spoiled[LocateBlob(spoiled.data(), spoiled.size())->offset + 40] = 'x';
  EXPECT_EQ(StampContent(spoiled, Bytes("x"), false, out), "data follows the end marker");
}

TEST(StubStampingTest, ChecksumMatchesTheLoadersDefinition) {
  // Two 16-bit words folded with carry, plus the length; the checksum field
  // counts as zero.
  std::vector<uint8_t> f = {0xFF, 0xFF, 0x02, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
  EXPECT_EQ(PeChecksum(f.data(), f.size(), 4), ((0xFFFFu + 2) & 0xFFFF) + 1 + 1 + 9);
}

}  // namespace
