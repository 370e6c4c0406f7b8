// Which terminal session's user the proxy settings are read for.
#ifndef BASTION_SRC_HTTPHELPER_SESSION_CHOICE_H_
#define BASTION_SRC_HTTPHELPER_SESSION_CHOICE_H_

#include <stddef.h>
#include <stdint.h>

namespace bastion {

struct SessionEntry {
  uint32_t id;
  uint32_t state;  // 0 is the active state
};

// The first active session in list order; session 0 when none is active.
uint32_t ChooseSession(const SessionEntry* sessions, size_t count);

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_SESSION_CHOICE_H_
