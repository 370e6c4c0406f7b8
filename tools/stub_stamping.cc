#include "tools/stub_stamping.h"

#include <algorithm>
#include <optional>

#include "Src/VTDropper/config_blob.h"
#include "tools/carrier_certificate.h"
#include "verification/der.h"

using namespace bastion;

namespace {

void Write32(std::vector<uint8_t>& file, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool AllZero(const uint8_t* begin, const uint8_t* end) {
  return std::all_of(begin, end, [](uint8_t b) { return b == 0; });
}

bool StartsWith(const uint8_t* begin, const uint8_t* end, const std::string& text) {
  return static_cast<size_t>(end - begin) >= text.size() && std::equal(text.begin(), text.end(), begin);
}

// Checks a marked region: begin marker first, the end marker after the
// content, nothing but zeros after it. Empty when it qualifies.
std::string CheckMarked(const uint8_t* begin, const uint8_t* end) {
  const auto bounds = LocateBlob(begin, static_cast<size_t>(end - begin));
  if (!bounds || bounds->offset != kBeginMarkerLength) return "the end marker is missing";
  if (!AllZero(begin + bounds->offset + bounds->length + kEndMarkerLength, end)) {
    return "data follows the end marker";
  }
  return {};
}

std::vector<uint8_t> Marked(const std::vector<uint8_t>& content) {
  const std::string begin = BeginMarker();
  const std::string end = EndMarker();
  std::vector<uint8_t> region(begin.begin(), begin.end());
  region.insert(region.end(), content.begin(), content.end());
  region.insert(region.end(), end.begin(), end.end());
  return region;
}

}  // namespace

std::vector<uint8_t> UnconfiguredContent() {
  return std::vector<uint8_t>(kUnconfiguredFillerLength, ' ');
}

std::string StampContent(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& content,
                         bool allowUnmarked, std::vector<uint8_t>& out, BlobLayout layout) {
  const auto table = ReadCertificateTable(stub.data(), stub.size());
  if (!table) return "not a PE file";
  if (table->tableSize == 0) return "the file is not code-signed";
  const auto signature = ReadSingleSignature(stub.data(), stub.size(), *table);
  if (!signature) {
    return "the certificate table is not one PKCS #7 entry at the end of the file";
  }
  if (content.size() > kUnconfiguredFillerLength) {
    return "the signed configuration is too large (" + std::to_string(content.size()) +
           " bytes; at most " + std::to_string(kUnconfiguredFillerLength) + ")";
  }

  const uint8_t* der = stub.data() + signature->signatureOffset;
  auto parts = SplitSignature(der, signature->signatureSize);
  if (!parts && layout == BlobLayout::kCertificate) return "the code signature is not a PKCS #7 SignedData";
  if (parts && parts->carriers.size() > 1) return "the code signature holds more than one carrier certificate";
  bool marked = false;
  if (parts && !parts->carriers.empty()) {
    const uint8_t* region = parts->carriers[0].data() + CarrierRegionOffset();
    if (!StartsWith(region, region + CarrierRegionSize(), BeginMarker())) return "the blob markers are missing";
    const std::string error = CheckMarked(region, region + CarrierRegionSize());
    if (!error.empty()) return error;
    marked = true;
  }
  const uint8_t* tail = der + signature->signatureSize;
  const uint8_t* tableEnd = stub.data() + stub.size();
  if (StartsWith(tail, tableEnd, BeginMarker())) {
    const std::string error = CheckMarked(tail, tableEnd);
    if (!error.empty()) return error;
    marked = true;
  } else if (!AllZero(tail, tableEnd)) {
    return "data follows the code signature";
  }
  if (!marked && !allowUnmarked) return "the blob markers are missing";

  // Whatever layout the stub had, it leaves with the one asked for.
  std::vector<uint8_t> entry(kWinCertHeaderSize, 0);
  std::copy(stub.begin() + table->tableOffset + 4, stub.begin() + table->tableOffset + 8, entry.begin() + 4);
  size_t contentOffset;
  if (layout == BlobLayout::kCertificate) {
    std::vector<uint8_t> region = Marked(content);
    region.resize(CarrierRegionSize(), 0);
    const auto carrier = CarrierCertificate(region);
    const auto rebuilt = JoinSignature(*parts, carrier);
    contentOffset = kWinCertHeaderSize + rebuilt.size() - parts->after.size() - carrier.size() +
                    CarrierRegionOffset() + kBeginMarkerLength;
    entry.insert(entry.end(), rebuilt.begin(), rebuilt.end());
  } else {
    const auto rebuilt = parts ? JoinSignature(*parts, {}) : std::vector<uint8_t>(der, tail);
    entry.insert(entry.end(), rebuilt.begin(), rebuilt.end());
    contentOffset = entry.size() + kBeginMarkerLength;
    const auto region = Marked(content);
    entry.insert(entry.end(), region.begin(), region.end());
  }
  while (entry.size() % 8 != 0) entry.push_back(0);
  // The entry's length counts its zero padding and equals the directory's
  // size, as signing tools write it.
  const auto entryLength = static_cast<uint32_t>(entry.size());

  std::vector<uint8_t> result(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(table->tableOffset));
  result.insert(result.end(), entry.begin(), entry.end());
  // The program takes the first markers of the whole file: nothing before
  // ours, and nothing inside the configuration, may look like one.
  const auto located = LocateBlob(result.data(), result.size());
  if (!located || located->offset != table->tableOffset + contentOffset || located->length != content.size()) {
    return "a blob marker occurs elsewhere in the file or inside the configuration";
  }

  Write32(result, table->tableOffset, entryLength);
  Write32(result, table->directoryEntryOffset + 4, entryLength);
  Write32(result, table->checksumOffset,
          PeChecksum(result.data(), result.size(), table->checksumOffset));
  out = std::move(result);
  return {};
}
