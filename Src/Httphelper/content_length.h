// The Content-Length header value, as WinHTTP hands it over in text form.
// Under Wine a connection cut mid-body ends the read cleanly, so only the
// announced length tells a truncated body from a complete one.
#ifndef BASTION_SRC_HTTPHELPER_CONTENT_LENGTH_H_
#define BASTION_SRC_HTTPHELPER_CONTENT_LENGTH_H_

#include <stdint.h>

namespace bastion {

// Decimal digits with optional surrounding blanks and tabs; false for
// anything else, an empty text or a value above 2^64 - 1.
bool ParseContentLength(const wchar_t* text, uint64_t& value);

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_CONTENT_LENGTH_H_
