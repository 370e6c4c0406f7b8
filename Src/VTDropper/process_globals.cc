// The start-up order of the process-wide objects lives here, in one
// translation unit, because C++ orders static initialisation only within one.
#include "Src/VTDropper/process_globals.h"

#include <stdlib.h>

#include "diagnostics/trace.h"
#include "platform/object_security.h"

namespace bastion {
namespace {

struct ObjectSecurityAtStartup {
  ObjectSecurityAtStartup() {
    GetObjectSecurity();
    atexit(ReleaseObjectSecurity);
  }
};

}  // namespace
}  // namespace bastion

// 1. The trace session (it must exist before anything traces); stopped by
//    its destructor at exit.
static bastion::trace::TraceSession g_traceSession;
// 2. RetryEvent and AbortEvent.
HANDLE RetryEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
HANDLE AbortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
// 3. The security descriptor for the objects we create.
static bastion::ObjectSecurityAtStartup g_objectSecurityAtStartup;
