// The signed configuration embedded in our own file: where it lies (between
// the first begin marker and the first end marker, found by a byte search that
// never reads past the buffer), and the document itself, UTF-8 XML text read by
// plain substring search.
#ifndef BASTION_SRC_VTDROPPER_CONFIG_BLOB_H_
#define BASTION_SRC_VTDROPPER_CONFIG_BLOB_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bastion {

// Position of the first occurrence of `needle` in `haystack`. An empty needle
// matches the first byte of a non-empty haystack; an empty haystack matches
// nothing.
std::optional<size_t> FindBytes(const uint8_t* haystack, size_t haystackLength,
                                const uint8_t* needle, size_t needleLength);

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

class ConfigDocument {
 public:
  explicit ConfigDocument(const std::vector<uint8_t>& bytes);

  bool loaded() const { return loaded_; }
  const std::string& text() const { return text_; }

  // Text between "<name>" and the first "</name>" after it; empty when
  // either tag is missing. An opening tag with attributes is not found.
  std::string GetElement(const std::string& name) const;
  // Value of `attribute` in the start tag "<element ...", up to the value's
  // own closing double quote; empty when the element (with its closing tag)
  // or the attribute is missing.
  std::string GetAttribute(const std::string& element, const std::string& attribute) const;

 private:
  std::string text_;
  bool loaded_ = false;
};

// The contents of config.dat: the XML declaration and the AG_CONFIG element
// around `body`, byte for byte.
std::string MakeConfigDat(const std::string& body);

struct ServerAddress {
  std::string host;
  std::string path;  // starts with "/"
};

// "https://host/dir/file" into host and path. Fails unless the text starts
// with "https://" (any letter case), a non-empty host follows, and the path
// holds at least two "/". The download always goes to port 443: an explicit
// ":443" is dropped from the host, and any other port, or user information
// ("@"), fails here rather than at every download attempt.
bool SplitServerUrl(const std::string& url, ServerAddress& out);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_CONFIG_BLOB_H_
