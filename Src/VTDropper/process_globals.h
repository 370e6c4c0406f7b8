// Process-wide objects that exist before wmain runs. Linked into the
// executables only (Src/VTDropper/CMakeLists.txt), not into test binaries.
#ifndef BASTION_SRC_VTDROPPER_PROCESS_GLOBALS_H_
#define BASTION_SRC_VTDROPPER_PROCESS_GLOBALS_H_

#include <windows.h>

// Unnamed, auto-reset, initially not signalled: set by the page's RETRY
// button, waited on between download attempts.
extern HANDLE RetryEvent;

// Unnamed, manual-reset, initially not signalled: set by the page's ABORT
// and CLOSE buttons; the procedure ends the run at its next check.
extern HANDLE AbortEvent;

#endif  // BASTION_SRC_VTDROPPER_PROCESS_GLOBALS_H_
