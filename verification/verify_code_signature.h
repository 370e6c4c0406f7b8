// Does the system's Authenticode policy trust the code signature of a file?
#ifndef BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
#define BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_

#include <windows.h>

namespace bastion {

// True when WinVerifyTrust answers 0. `status` receives its answer; it is left
// as the caller set it when WinTrust cannot be reached. With `file`, an open
// handle of `path` with read access, WinTrust reads the file through that
// handle, so the bytes checked are those of the file the caller holds.
bool VerifyCodeSignature(const wchar_t* path, LONG& status, HANDLE file = nullptr);

}  // namespace bastion

#endif  // BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
