#include "Src/VTDropper/byte_search.h"

#include <cstring>

std::optional<size_t> FindBytes(const uint8_t* haystack, size_t haystackLength,
                                const uint8_t* needle, size_t needleLength) {
  if (haystackLength == 0 || haystackLength < needleLength) return std::nullopt;
  if (needleLength == 0) return 0;
  const uint8_t first = needle[0];
  // memchr finds candidates at memory speed; only real candidates get the
  // full comparison, which stays inside the haystack.
  const uint8_t* cursor = haystack;
  const uint8_t* const end = haystack + haystackLength;
  while (cursor < end) {
    const void* hit = memchr(cursor, first, static_cast<size_t>(end - cursor));
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
