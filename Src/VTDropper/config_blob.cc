#include "Src/VTDropper/config_blob.h"

#include <cctype>
#include <cstring>

namespace bastion {

namespace {

// Sixteen bytes at a time, in the compilers' portable vector type (SSE2 or
// NEON code, no intrinsics).
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

Bytes16 Load(const uint8_t* p) {
  Bytes16 v;
  memcpy(&v, p, sizeof(v));
  return v;
}

Bytes16 Splat(uint8_t b) {
  Bytes16 v;
  for (int i = 0; i < 16; ++i) v[i] = b;
  return v;
}

// Candidates are positions whose byte equals the needle's first byte and
// whose byte needle-length - 1 further on equals its last: far rarer than
// the first byte alone, so the full comparison seldom runs.
std::optional<size_t> FindBlocks(const uint8_t* haystack, size_t haystackLength,
                                 const uint8_t* needle, size_t needleLength, size_t& resumeAt) {
  const size_t lastOffset = needleLength - 1;
  const Bytes16 first = Splat(needle[0]);
  const Bytes16 last = Splat(needle[lastOffset]);
  size_t i = 0;
  // Every load, at i and at i + lastOffset, lies inside the haystack.
  for (; i + lastOffset + 16 <= haystackLength; i += 16) {
    const auto hits = (Load(haystack + i) == first) & (Load(haystack + i + lastOffset) == last);
    uint64_t halves[2];
    memcpy(halves, &hits, sizeof(halves));
    if ((halves[0] | halves[1]) == 0) continue;
    for (size_t k = 0; k < 16; ++k) {
      if (hits[k] != 0 && memcmp(haystack + i + k, needle, needleLength) == 0) return i + k;
    }
  }
  resumeAt = i;
  return std::nullopt;
}

// One underscore short of the markers (see BeginMarker).
constexpr char kBeginMarkerStem[] = "___BLOB_BEGIN__";
constexpr char kEndMarkerStem[] = "___BLOB_END__";

}  // namespace

std::optional<size_t> FindBytes(const uint8_t* haystack, size_t haystackLength,
                                const uint8_t* needle, size_t needleLength) {
  if (haystackLength == 0 || haystackLength < needleLength) return std::nullopt;
  if (needleLength == 0) return 0;
  size_t start = 0;
  if (needleLength >= 2) {
    if (const auto found = FindBlocks(haystack, haystackLength, needle, needleLength, start)) {
      return found;
    }
  }
  // The rest (or all of it, for a one-byte needle): memchr finds each
  // candidate, and a candidate too close to the end is no match.
  const uint8_t* cursor = haystack + start;
  const uint8_t* const end = haystack + haystackLength;
  while (cursor < end) {
    const void* hit = memchr(cursor, needle[0], static_cast<size_t>(end - cursor));
    if (hit == nullptr) return std::nullopt;
    const uint8_t* candidate = static_cast<const uint8_t*>(hit);
    if (static_cast<size_t>(end - candidate) < needleLength) return std::nullopt;
    if (memcmp(candidate + 1, needle + 1, needleLength - 1) == 0) {
      return static_cast<size_t>(candidate - haystack);
    }
    cursor = candidate + 1;
  }
  return std::nullopt;
}

std::string BeginMarker() { return std::string(kBeginMarkerStem) + "_"; }

std::string EndMarker() { return std::string(kEndMarkerStem) + "_"; }

std::optional<BlobBounds> LocateBlob(const uint8_t* image, size_t size) {
  const std::string begin = BeginMarker();
  const std::string end = EndMarker();
  const auto beginAt = FindBytes(image, size, reinterpret_cast<const uint8_t*>(begin.data()),
                                 begin.size());
  const auto endAt =
      FindBytes(image, size, reinterpret_cast<const uint8_t*>(end.data()), end.size());
  if (!beginAt || !endAt || *endAt <= *beginAt) return std::nullopt;
  // An end marker that starts inside the begin marker is no end of content.
  if (*endAt - *beginAt < kBeginMarkerLength) return std::nullopt;
  return BlobBounds{*beginAt + kBeginMarkerLength, *endAt - *beginAt - kBeginMarkerLength};
}

ConfigDocument::ConfigDocument(const std::vector<uint8_t>& bytes)
    : text_(bytes.begin(), bytes.end()), loaded_(true) {}

std::string ConfigDocument::GetElement(const std::string& name) const {
  const std::string open = "<" + name + ">";
  const std::string close = "</" + name + ">";
  const size_t openAt = text_.find(open);
  if (openAt == std::string::npos) return {};
  const size_t closeAt = text_.find(close, openAt);
  if (closeAt == std::string::npos || closeAt <= openAt) return {};
  const size_t start = openAt + open.size();
  return text_.substr(start, closeAt - start);
}

std::string ConfigDocument::GetAttribute(const std::string& element,
                                         const std::string& attribute) const {
  const std::string open = "<" + element + " ";
  const std::string close = "</" + element + ">";
  const size_t openAt = text_.find(open);
  if (openAt == std::string::npos) return {};
  const size_t closeAt = text_.find(close, openAt);
  if (closeAt == std::string::npos || closeAt <= openAt) return {};
  const size_t innerStart = openAt + open.size();
  const std::string inner = text_.substr(innerStart, closeAt - innerStart);
  const std::string key = attribute + "=\"";
  const size_t keyAt = inner.find(key);
  if (keyAt == std::string::npos) return {};
  const size_t valueStart = keyAt + key.size();
  // The value ends at its own closing quote, whatever follows that quote.
  const size_t quoteAt = inner.find('"', valueStart);
  if (quoteAt == std::string::npos) return {};
  return inner.substr(valueStart, quoteAt - valueStart);
}

std::string MakeConfigDat(const std::string& body) {
  return "<?xml version='1.0' encoding='UTF-8'?><AG_CONFIG>" + body + "</AG_CONFIG>";
}

bool SplitServerUrl(const std::string& url, ServerAddress& out) {
  static constexpr char kScheme[] = "https://";
  constexpr size_t kSchemeLength = sizeof(kScheme) - 1;
  if (url.size() < kSchemeLength) return false;
  for (size_t i = 0; i < kSchemeLength; ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
  }
  // The host runs up to the first "/" after the scheme, and is not empty.
  const size_t slash = url.find('/', kSchemeLength);
  if (slash == std::string::npos || slash == kSchemeLength) return false;
  if (url.find('/', slash + 1) == std::string::npos) return false;
  std::string host = url.substr(kSchemeLength, slash - kSchemeLength);
  if (host.find('@') != std::string::npos) return false;
  // The colons of an IPv6 literal ("[::1]") are no port separator.
  const size_t portAt = host.find(':', host[0] == '[' ? host.find(']') : 0);
  if (portAt != std::string::npos) {
    if (host.compare(portAt, std::string::npos, ":443") != 0 || portAt == 0) return false;
    host.erase(portAt);
  }
  out.host = host;
  out.path = url.substr(slash);
  return true;
}

}  // namespace bastion
