#include "Src/VTDropper/config_blob.h"

#include "Src/VTDropper/byte_search.h"

namespace bastion {

namespace {

// One underscore short of the markers (see BeginMarker).
constexpr char kBeginMarkerStem[] = "___BLOB_BEGIN__";
constexpr char kEndMarkerStem[] = "___BLOB_END__";

}  // namespace

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

}  // namespace bastion
