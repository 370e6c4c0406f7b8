// Does the system's Authenticode policy trust the code signature of a file,
// and does a package come from our built-in publisher?
#ifndef BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
#define BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_

#include <windows.h>

namespace bastion {

// True when WinVerifyTrust answers 0. `status` receives its answer; it is left
// as the caller set it when WinTrust cannot be reached. With `file`, an open
// handle of `path` with read access, WinTrust reads the file through that
// handle, so the bytes checked are those of the file the caller holds.
bool VerifyCodeSignature(const wchar_t* path, LONG& status, HANDLE file = nullptr);

// The package's signer against the publisher certificate built into the
// stub (PackagePublisherCertificate), never against whoever signed the file
// the stub runs from, which can be swapped. The subjects are compared as
// decoded names, so that a renewed certificate whose same name is encoded
// anew still matches. `packagePath` is a package whose code signature the
// system has already accepted. False when its signer cannot be found
// unambiguously or the subjects differ.
bool PackageFromOurPublisher(const wchar_t* packagePath);

}  // namespace bastion

#endif  // BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
