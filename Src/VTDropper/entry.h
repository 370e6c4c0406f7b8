// The run of BastionSetup.exe from wmain: shared by the product and its
// trace-recording twin (tests/trace_runner), so both start alike.
#ifndef BASTION_SRC_VTDROPPER_ENTRY_H_
#define BASTION_SRC_VTDROPPER_ENTRY_H_

namespace bastion {

// Called once the trace provider is registered, before the command line is
// read; the twin routes the trace messages to its own file here.
using ProviderRegisteredHook = void (*)();

// Restricts library loading, registers the trace provider, runs the mode the
// command line asks for and returns the process's exit code.
int RunBastionSetup(int argc, wchar_t** argv, ProviderRegisteredHook onProviderRegistered = nullptr);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_ENTRY_H_
