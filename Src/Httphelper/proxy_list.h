// The rules of proxy discovery that need no system: which terminal session's
// user the settings are read for, which errors let the discovery fall through
// to the next source, which request errors allow moving to the next proxy,
// and the walk along a proxy list.
#ifndef BASTION_SRC_HTTPHELPER_PROXY_LIST_H_
#define BASTION_SRC_HTTPHELPER_PROXY_LIST_H_

#include <stddef.h>
#include <stdint.h>

namespace bastion {

struct SessionEntry {
  uint32_t id;
  uint32_t state;  // 0 is the active state
};

// The first active session in list order; session 0 when none is active.
uint32_t ChooseSession(const SessionEntry* sessions, size_t count);

// Errors of an automatic lookup after which the next source is tried.
bool IsRecoverableAutoProxyError(uint32_t error);

// Request errors after which the next proxy of the list may be tried.
bool AllowsProxyFailOver(uint32_t error);

// ";" and white space (blank and the characters 9 to 13).
bool IsProxySeparator(wchar_t c);

// From the entry at `cursor`, skips that entry and the separators after it.
// Returns the next entry, or null when the list ends there.
const wchar_t* NextProxyEntry(const wchar_t* cursor);

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_PROXY_LIST_H_
