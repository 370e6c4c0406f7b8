#include "Src/VTDropper/installer_launch.h"

#include <string>

#include "Src/VTDropper/installer_arguments.h"
#include "Src/VTDropper/local_files.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/path_buffer.h"
#include "platform/text.h"

namespace bastion {

namespace {

constexpr char kLogFunction[] = "InstallProcedure";

// Traces the last error and answers it.
DWORD TraceError(LaunchTrace message) {
  const DWORD error = GetLastError();
  // trace numbers: 10-13, 15
  trace::Message(message, trace::kComponents, error);
  return error;
}

// A path that does not fit leaves no useful last error of its own.
DWORD TraceTooLong(LaunchTrace message) {
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return TraceError(message);
}

// The failure's cause for the caller; false.
bool NotStarted(LaunchRecord* record, DWORD error) {
  record->error = error != 0 ? error : ERROR_GEN_FAILURE;
  return false;
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

bool LaunchInstaller(LaunchRecord* record, const wchar_t* executable, const wchar_t* arguments,
                     const wchar_t* installerLog) {
  record->startup = {};
  record->startup.cb = sizeof(record->startup);
  record->process = {};
  record->error = 0;

  wchar_t systemFolder[PathBuffer::kCapacity] = {};
  UINT length = GetSystemDirectoryW(systemFolder, PathBuffer::kCapacity);
  if (length == 0) {
    return NotStarted(record, TraceError(LaunchTrace::kSystemFolderNotRead));
  }
  if (length >= PathBuffer::kCapacity) {
    return NotStarted(record, TraceTooLong(LaunchTrace::kSystemFolderNotRead));
  }

  PathBuffer program;
  if (!program.Append(systemFolder) || !program.Append(L"\\") || !program.Append(executable)) {
    return NotStarted(record, TraceTooLong(LaunchTrace::kExecutablePathTooLong));
  }

  // The program path is quoted as well as the package path within the
  // arguments, so a blank in either cannot split the line.
  PathBuffer commandLine;
  if (!commandLine.Append(L"\"") || !commandLine.Append(program.c_str()) || !commandLine.Append(L"\" ") ||
      !commandLine.Append(arguments)) {
    const DWORD error = TraceTooLong(LaunchTrace::kCommandLineTooLong);
    BASTION_LOG(spdlog::level::err, kLogFunction, "Installer command line exceeds {} characters",
                PathBuffer::kCapacity - 1);
    return NotStarted(record, error);
  }
  if (installerLog != nullptr) {
    // A failed append leaves the line as it was: without the log.
    if (commandLine.Append(InstallerLogArguments(installerLog).c_str()))
      BASTION_LOG(spdlog::level::info, kLogFunction, "Installer log: {}", WideToUtf8(installerLog));
    else
      BASTION_LOG(spdlog::level::info, kLogFunction,
                  "Installer log left out: the command line would exceed {} characters", PathBuffer::kCapacity - 1);
  }

  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &record->startup, &record->process)) {
    return NotStarted(record, TraceError(LaunchTrace::kCreateProcessFailed));
  }
  ScopedKernelHandle process(record->process.hProcess);
  ScopedKernelHandle thread(record->process.hThread);
  record->process.hProcess = nullptr;
  record->process.hThread = nullptr;

  record->exitCode = AwaitInstallerExitCode(process.Get());
  return true;
}

}  // namespace bastion
