// Does the system's Authenticode policy trust the code signature of a file,
// and does a package come from the publisher of our own file?
#ifndef BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
#define BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace bastion {

// True when WinVerifyTrust answers 0. `status` receives its answer; it is left
// as the caller set it when WinTrust cannot be reached. With `file`, an open
// handle of `path` with read access, WinTrust reads the file through that
// handle, so the bytes checked are those of the file the caller holds.
bool VerifyCodeSignature(const wchar_t* path, LONG& status, HANDLE file = nullptr);

// Both signers are compared by their subject names, decoded, so that a
// renewed certificate whose same name is encoded anew still matches.
// `image` is our own signed file as mapped; `packagePath` a package whose
// code signature the system has already accepted. False when either signer
// cannot be found unambiguously or their subjects differ.
bool PackageFromOurPublisher(const uint8_t* image, size_t imageSize, const wchar_t* packagePath);

}  // namespace bastion

#endif  // BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
