// First occurrence of a byte string in a buffer, never reading past its end.
#ifndef BASTION_SRC_VTDROPPER_BYTE_SEARCH_H_
#define BASTION_SRC_VTDROPPER_BYTE_SEARCH_H_

#include <cstddef>
#include <cstdint>
#include <optional>

namespace bastion {

// Position of the first occurrence of `needle` in `haystack`. An empty needle
// matches the first byte of a non-empty haystack; an empty haystack matches
// nothing.
std::optional<size_t> FindBytes(const uint8_t* haystack, size_t haystackLength,
                                const uint8_t* needle, size_t needleLength);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_BYTE_SEARCH_H_
