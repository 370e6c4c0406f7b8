#include "Src/Httphelper/tls_versions.h"

namespace bastion {

bool RestrictToModernTls(decltype(WinHttpSetOption)* setOption, HINTERNET session) {
  const DWORD choices[] = {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3,
                           WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2};
  for (DWORD protocols : choices) {
    if (setOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return true;
  }
  return false;
}

}  // namespace bastion
