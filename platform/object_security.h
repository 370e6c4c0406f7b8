// The process-wide security attributes for every object the program creates:
// read for Everyone, full access for the built-in Administrators.
#ifndef BASTION_PLATFORM_OBJECT_SECURITY_H_
#define BASTION_PLATFORM_OBJECT_SECURITY_H_

#include <windows.h>

#include "platform/scoped_handle.h"

namespace bastion {

// A SID from AllocateAndInitializeSid.
using ScopedSid = ScopedHandle<LinkedCloseTraits<PSID, &FreeSid>>;

// The record, or null when the descriptor cannot be built; callers pass it
// straight to the creation calls, so null means the folder's default security.
SECURITY_ATTRIBUTES* GetObjectSecurity();

// Returns the descriptor's memory at process exit.
void ReleaseObjectSecurity();

// Builds a 20-byte absolute descriptor from the process heap whose access list
// holds Everyone:GENERIC_READ then Administrators:GENERIC_ALL with the given
// inheritance. Null on any failure, with everything obtained released.
// Release with FreeAccessDescriptor.
PSECURITY_DESCRIPTOR BuildAccessDescriptor(DWORD inheritance);
void FreeAccessDescriptor(PSECURITY_DESCRIPTOR descriptor);

}  // namespace bastion

#endif  // BASTION_PLATFORM_OBJECT_SECURITY_H_
