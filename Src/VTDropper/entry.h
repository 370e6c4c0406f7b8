// The run of BastionSetup.exe from wmain: shared by the product and its
// trace-recording twin (tests/trace_runner), so both start alike.
#ifndef BASTION_SRC_VTDROPPER_ENTRY_H_
#define BASTION_SRC_VTDROPPER_ENTRY_H_

namespace bastion {

// Where a caller steps into the run; each member may stay null.
struct EntryHooks {
  // Called once the trace provider is registered, before the command line is
  // read; the twin routes the trace messages to its own file here.
  void (*onProviderRegistered)() = nullptr;
  // Called inside the installation's guard, before its first stage, with the
  // log set up and the fault filter set: the start-up hook above runs too
  // early for a fault to reach the filter.
  void (*onProcedureStart)() = nullptr;
  // Asked instead of the system whether library loading could be restricted
  // to the system folder.
  bool (*systemSupport)() = nullptr;
};

// Restricts library loading, registers the trace provider, runs the mode the
// command line asks for and returns the process's exit code.
int RunBastionSetup(int argc, wchar_t** argv, const EntryHooks& hooks = {});

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_ENTRY_H_
