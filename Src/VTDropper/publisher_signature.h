// The second chance of our own file's signature check: a signature that the
// system refused only for want of a trusted chain is still ours when one of
// the pinned publisher certificates verifies it.
#ifndef BASTION_SRC_VTDROPPER_PUBLISHER_SIGNATURE_H_
#define BASTION_SRC_VTDROPPER_PUBLISHER_SIGNATURE_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace bastion {

// `trustStatus` is what the system's check answered for `file`. Only a
// chain-of-trust refusal qualifies (an absent signature or a bad digest
// never does), and then the file's one embedded signature must verify under
// a pinned certificate.
bool PublisherSignatureAccepted(LONG trustStatus, const uint8_t* file, size_t size);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_PUBLISHER_SIGNATURE_H_
