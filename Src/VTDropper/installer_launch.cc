#include "Src/VTDropper/installer_launch.h"

#include "Src/VTDropper/local_files.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/path_buffer.h"

namespace bastion {

namespace {

// trace numbers: 10-13, 15
void TraceError(LaunchTrace message) { trace::Message(message, trace::kComponents, GetLastError()); }

// A path that does not fit leaves no useful last error of its own.
void TraceTooLong(LaunchTrace message) {
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  TraceError(message);
}

}  // namespace

bool IsAgentInstalled() {
  for (const wchar_t* path : kAgentPaths)
    if (FileExistsInProgramFiles(kProgramFilesX86, path)) return true;
  return false;
}

ScopedKernelHandle OpenInstallerMutex() {
  return ScopedKernelHandle(OpenMutexW(SYNCHRONIZE, FALSE, kInstallerMutexName));
}

DWORD AwaitInstallerExitCode(HANDLE process, const InstallerWaitCalls& calls) {
  if (calls.wait(process, INFINITE) != WAIT_OBJECT_0) {
    TraceError(LaunchTrace::kExitCodeNotRead);
    return ERROR_INSTALL_FAILURE;
  }
  DWORD exitCode = 0;
  if (!calls.exitCode(process, &exitCode)) {
    TraceError(LaunchTrace::kExitCodeNotRead);
    return ERROR_INSTALL_FAILURE;
  }
  trace::Message(LaunchTrace::kInstallerExited, trace::kComponents, exitCode);
  return exitCode == STILL_ACTIVE ? ERROR_INSTALL_FAILURE : exitCode;
}

bool LaunchInstaller(LaunchRecord* record, const wchar_t* executable, const wchar_t* arguments) {
  record->startup = {};
  record->startup.cb = sizeof(record->startup);
  record->process = {};

  wchar_t systemFolder[PathBuffer::kCapacity] = {};
  UINT length = GetSystemDirectoryW(systemFolder, PathBuffer::kCapacity);
  if (length == 0) {
    TraceError(LaunchTrace::kSystemFolderNotRead);
    return false;
  }
  if (length >= PathBuffer::kCapacity) {
    TraceTooLong(LaunchTrace::kSystemFolderNotRead);
    return false;
  }

  PathBuffer program;
  if (!program.Append(systemFolder) || !program.Append(L"\\") || !program.Append(executable)) {
    TraceTooLong(LaunchTrace::kExecutablePathTooLong);
    return false;
  }

  // The program path is quoted as well as the package path within the
  // arguments, so a blank in either cannot split the line.
  PathBuffer commandLine;
  if (!commandLine.Append(L"\"") || !commandLine.Append(program.c_str()) || !commandLine.Append(L"\" ") ||
      !commandLine.Append(arguments)) {
    TraceTooLong(LaunchTrace::kCommandLineTooLong);
    return false;
  }

  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &record->startup, &record->process)) {
    TraceError(LaunchTrace::kCreateProcessFailed);
    return false;
  }
  ScopedKernelHandle process(record->process.hProcess);
  ScopedKernelHandle thread(record->process.hThread);
  record->process.hProcess = nullptr;
  record->process.hThread = nullptr;

  record->exitCode = AwaitInstallerExitCode(process.Get());
  return true;
}

}  // namespace bastion
