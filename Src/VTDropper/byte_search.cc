#include "Src/VTDropper/byte_search.h"

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

}  // namespace bastion
