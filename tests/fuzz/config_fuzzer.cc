// libFuzzer target over everything that reads the embedded configuration:
// blob location, the document reader, config.dat, the URL split, and the
// DER and certificate-table readers. Any out-of-bounds access is caught by
// the sanitizers; broken invariants abort.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Src/VTDropper/config_blob.h"
#include "verification/der.h"

using namespace bastion;

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

bool HasSecurePrefix(const std::string& url) {
  static constexpr char kScheme[] = "https://";
  if (url.size() < 8) return false;
  for (size_t i = 0; i < 8; ++i) {
    if ((url[i] | (url[i] >= 'A' && url[i] <= 'Z' ? 0x20 : 0)) != kScheme[i]) return false;
  }
  return true;
}

void CheckSplit(const std::string& url) {
  ServerAddress address;
  if (!SplitServerUrl(url, address)) return;
  Require(HasSecurePrefix(url));
  // An explicit ":443" is dropped; any other text after the host's colon is
  // refused, so the host carries no port and no user part.
  const std::string rest = url.substr(8);
  Require(rest == address.host + address.path || rest == address.host + ":443" + address.path);
  Require(!address.host.empty() && address.host.find('/') == std::string::npos);
  Require(address.host.find('@') == std::string::npos);
  const size_t bracket = address.host[0] == '[' ? address.host.find(']') : 0;
  Require(bracket == std::string::npos || address.host.find(':', bracket) == std::string::npos);
  Require(address.path.size() >= 2 && address.path[0] == '/' &&
          address.path.find('/', 1) != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const auto bounds = LocateBlob(data, size)) {
    Require(bounds->offset >= kBeginMarkerLength && bounds->offset + bounds->length <= size);
    Require(std::string(reinterpret_cast<const char*>(data) + bounds->offset - kBeginMarkerLength,
                        kBeginMarkerLength) == BeginMarker());
    Require(size - bounds->offset - bounds->length >= kEndMarkerLength);
  }

  // The first bytes choose a needle for the byte search over the rest.
  if (size > 0) {
    const size_t needleLength = data[0] % 24;
    if (needleLength < size) {
      const uint8_t* haystack = data + 1 + needleLength;
      const size_t haystackLength = size - 1 - needleLength;
      const auto at = FindBytes(haystack, haystackLength, data + 1, needleLength);
      const std::string h(reinterpret_cast<const char*>(haystack), haystackLength);
      const std::string n(reinterpret_cast<const char*>(data + 1), needleLength);
      const size_t expected = haystackLength == 0 ? std::string::npos : h.find(n);
      Require(at ? *at == expected : expected == std::string::npos);
    }
  }

  std::vector<uint8_t> bytes(data, data + size);
  bytes.push_back(0);
  const ConfigDocument document(bytes);
  const std::string body = document.GetElement("AG_CONFIG");
  const std::string configDat = MakeConfigDat(body);
  Require(configDat.size() == body.size() + 61);
  const std::string url = document.GetElement("URL");
  Require(url.find("</URL>") == std::string::npos);
  CheckSplit(url);
  CheckSplit(std::string(reinterpret_cast<const char*>(data), size));
  const std::string fqdn = document.GetAttribute("server", "fqdn");
  Require(fqdn.find('"') == std::string::npos);
  document.GetElement("VPN_CONFIG");

  if (const auto element = DerElementSize(data, size)) Require(*element <= size && *element >= 2);
  if (const auto octets = DerOctetString(data, size)) Require(octets->data + octets->size == data + size);
  if (const auto table = ReadCertificateTable(data, size)) {
    Require(table->tableOffset + table->tableSize <= size);
    if (const auto signature = ReadSingleSignature(data, size, *table)) {
      Require(signature->signatureOffset + signature->signatureSize <= size);
    }
    PeChecksum(data, size, table->checksumOffset);
  }
  return 0;
}
