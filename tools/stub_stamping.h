// Placing a signed configuration into a code-signed stub, and taking it out
// again, without touching anything the code signature covers.
#ifndef BASTION_TOOLS_STUB_STAMPING_H_
#define BASTION_TOOLS_STUB_STAMPING_H_

#include <cstdint>
#include <string>
#include <vector>

// Rebuilds `stub` with `content` between the blob markers, right after the
// code signature in the one WIN_CERTIFICATE entry, padded with zeros to 8
// bytes; fixes the entry length, the security directory size and the PE
// checksum. The stub must be signed and either unconfigured or configured
// (or, with `allowUnmarked`, signed and without a blob yet). An error text
// comes back, and `out` stays untouched, when the input does not qualify.
std::string StampContent(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& content,
                         bool allowUnmarked, std::vector<uint8_t>& out);

// The filler of a stub that has not been configured: all spaces.
std::vector<uint8_t> UnconfiguredContent();

#endif  // BASTION_TOOLS_STUB_STAMPING_H_
