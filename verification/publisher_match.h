// Does a package come from the publisher of our own file? Both signers are
// compared by their subject names, decoded, so that a renewed certificate
// whose same name is encoded anew still matches.
#ifndef BASTION_VERIFICATION_PUBLISHER_MATCH_H_
#define BASTION_VERIFICATION_PUBLISHER_MATCH_H_

#include <cstddef>
#include <cstdint>

namespace bastion {

// `image` is our own signed file as mapped; `packagePath` a package whose
// code signature the system has already accepted. False when either signer
// cannot be found unambiguously or their subjects differ.
bool PackageFromOurPublisher(const uint8_t* image, size_t imageSize, const wchar_t* packagePath);

}  // namespace bastion

#endif  // BASTION_VERIFICATION_PUBLISHER_MATCH_H_
