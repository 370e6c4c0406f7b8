// The response headers a download acts on, as WinHTTP hands them over in
// text form. Under Wine a connection cut mid-body ends the read cleanly, so
// only the announced length tells a truncated body from a complete one; a
// resumed download must continue exactly where its file ends, and only from
// the response it began with.
#ifndef BASTION_SRC_HTTPHELPER_CONTENT_LENGTH_H_
#define BASTION_SRC_HTTPHELPER_CONTENT_LENGTH_H_

#include <stdint.h>

#include <string>

namespace bastion {

// Decimal digits with optional surrounding blanks and tabs; false for
// anything else, an empty text or a value above 2^64 - 1.
bool ParseContentLength(const wchar_t* text, uint64_t& value);

// Bytes `first` to `last` (inclusive) of a representation of `total` bytes.
struct ContentRange {
  uint64_t first = 0;
  uint64_t last = 0;
  uint64_t total = 0;
  bool operator==(const ContentRange&) const = default;
};

// "bytes FIRST-LAST/TOTAL" with first <= last < total, optional blanks and
// tabs around it; false for anything else, among it an unknown total ("*"),
// the unsatisfied form "bytes */TOTAL" and other units. Keeps `range` on
// failure.
bool ParseContentRange(const wchar_t* text, ContentRange& range);

// What a resumed request's If-Range carries: the ETag when it is strong and
// well formed (a weak "W/" one is not allowed there), else Last-Modified;
// empty when neither is usable. Only printable ASCII of at most 256
// characters is sent back, so a server's header cannot add lines to our
// request. Null texts count as absent.
std::wstring ResumeValidator(const wchar_t* etag, const wchar_t* lastModified);

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_CONTENT_LENGTH_H_
