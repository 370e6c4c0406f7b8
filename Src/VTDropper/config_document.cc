#include "Src/VTDropper/config_document.h"

#include <cctype>

namespace bastion {

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
