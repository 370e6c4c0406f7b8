#include "tools/stub_stamping.h"

#include <algorithm>

#include "Src/VTDropper/config_blob.h"
#include "verification/pe_certificate_table.h"

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

}  // namespace

std::vector<uint8_t> UnconfiguredContent() {
  return std::vector<uint8_t>(kUnconfiguredFillerLength, ' ');
}

std::string StampContent(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& content,
                         bool allowUnmarked, std::vector<uint8_t>& out) {
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

  const size_t signatureEnd = signature->signatureOffset + signature->signatureSize;
  const uint8_t* tail = stub.data() + signatureEnd;
  const uint8_t* tableEnd = stub.data() + stub.size();
  const std::string begin = BeginMarker();
  const std::string end = EndMarker();
  if (StartsWith(tail, tableEnd, begin)) {
    const auto bounds = LocateBlob(tail, static_cast<size_t>(tableEnd - tail));
    if (!bounds || bounds->offset != begin.size()) return "the end marker is missing";
    const uint8_t* after = tail + bounds->offset + bounds->length + end.size();
    if (!AllZero(after, tableEnd)) return "data follows the end marker";
  } else if (!allowUnmarked) {
    return "the blob markers are missing";
  } else if (!AllZero(tail, tableEnd)) {
    return "data follows the code signature";
  }

  std::vector<uint8_t> result(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(signatureEnd));
  result.insert(result.end(), begin.begin(), begin.end());
  result.insert(result.end(), content.begin(), content.end());
  result.insert(result.end(), end.begin(), end.end());
  while ((result.size() - table->tableOffset) % 8 != 0) result.push_back(0);

  // The program takes the first markers of the whole file: nothing before
  // ours, and nothing inside the configuration, may look like one.
  const auto located = LocateBlob(result.data(), result.size());
  if (!located || located->offset != signatureEnd + begin.size() ||
      located->length != content.size()) {
    return "a blob marker occurs elsewhere in the file or inside the configuration";
  }

  const auto entryLength = static_cast<uint32_t>(result.size() - table->tableOffset);
  Write32(result, table->tableOffset, entryLength);
  Write32(result, table->directoryEntryOffset + 4, entryLength);
  Write32(result, table->checksumOffset,
          PeChecksum(result.data(), result.size(), table->checksumOffset));
  out = std::move(result);
  return {};
}
