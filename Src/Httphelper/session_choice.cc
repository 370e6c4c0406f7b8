#include "Src/Httphelper/session_choice.h"

namespace bastion {

uint32_t ChooseSession(const SessionEntry* sessions, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (sessions[i].state == 0) return sessions[i].id;
  return 0;
}

}  // namespace bastion
