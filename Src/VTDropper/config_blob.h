// Where the signed configuration lies in our own file: between the first
// begin marker and the first end marker.
#ifndef BASTION_SRC_VTDROPPER_CONFIG_BLOB_H_
#define BASTION_SRC_VTDROPPER_CONFIG_BLOB_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace bastion {

inline constexpr size_t kBeginMarkerLength = 16;
inline constexpr size_t kEndMarkerLength = 14;
// The filler of a file that has not been configured yet.
inline constexpr size_t kUnconfiguredFillerLength = 49962;

// The full marker texts. They are assembled at run time from texts one
// underscore short, so that the file holding this code never contains them.
std::string BeginMarker();
std::string EndMarker();

struct BlobBounds {
  size_t offset;  // first content byte
  size_t length;  // content bytes, markers excluded
};

// Both markers searched from the start of `image`; none when either is
// missing or the end marker does not follow the begin marker.
std::optional<BlobBounds> LocateBlob(const uint8_t* image, size_t size);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_CONFIG_BLOB_H_
