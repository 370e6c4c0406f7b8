// Does the system's Authenticode policy trust the code signature of a file?
#ifndef BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
#define BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_

#include <windows.h>

// True when WinVerifyTrust answers 0. `status` receives its answer; it is left
// as the caller set it when WinTrust cannot be reached. `file`, when given,
// is an open handle of `path` that the check reads through.
bool VerifyCodeSignature(const wchar_t* path, LONG& status, HANDLE file = nullptr);

#endif  // BASTION_VERIFICATION_VERIFY_CODE_SIGNATURE_H_
