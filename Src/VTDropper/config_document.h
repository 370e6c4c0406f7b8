// The configuration document: UTF-8 XML text read by plain substring search.
#ifndef BASTION_SRC_VTDROPPER_CONFIG_DOCUMENT_H_
#define BASTION_SRC_VTDROPPER_CONFIG_DOCUMENT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace bastion {

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

#endif  // BASTION_SRC_VTDROPPER_CONFIG_DOCUMENT_H_
