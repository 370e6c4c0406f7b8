// The TLS versions a download offers when the program itself checks the
// server's certificate: 1.3 where the system knows it, 1.2 always, never
// the older ones.
#ifndef BASTION_SRC_HTTPHELPER_TLS_VERSIONS_H_
#define BASTION_SRC_HTTPHELPER_TLS_VERSIONS_H_

#include <windows.h>

#include <winhttp.h>

namespace bastion {

// Sets TLS 1.2 and 1.3 on `session`, or 1.2 alone where WinHTTP refuses 1.3
// (Windows before 11). False when neither is accepted: the platform's
// defaults, which may include 1.0 and 1.1, must not be left in place.
bool RestrictToModernTls(decltype(WinHttpSetOption)* setOption, HINTERNET session);

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_TLS_VERSIONS_H_
