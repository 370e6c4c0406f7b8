// A Windows error as a log line shows it.
#ifndef BASTION_SRC_VTDROPPER_WINDOWS_ERROR_TEXT_H_
#define BASTION_SRC_VTDROPPER_WINDOWS_ERROR_TEXT_H_

#include <string>

namespace bastion {

// " (error 5: Access is denied.)": the code (an HRESULT in hexadecimal) and
// the system's text for it in UTF-8, on one line; " (error N)" when the
// system has no text; empty for 0.
std::string WindowsErrorDetail(unsigned long error);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_WINDOWS_ERROR_TEXT_H_
