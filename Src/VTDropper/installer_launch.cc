#include "Src/VTDropper/installer_launch.h"

#include "Src/VTDropper/path_buffer.h"
#include "platform/scoped_handle.h"
#include "diagnostics/trace.h"

namespace bastion {

namespace {

// {86C4D110-17B7-3A4F-D5F3-ED751D0C2D1F}
constexpr GUID kTraceGuid = {0x86C4D110, 0x17B7, 0x3A4F, {0xD5, 0xF3, 0xED, 0x75, 0x1D, 0x0C, 0x2D, 0x1F}};

// trace numbers: 10-13, 15
void TraceError(USHORT number) { trace::Message(kTraceGuid, number, trace::kComponents, GetLastError()); }

// A path that does not fit leaves no useful last error of its own.
void TraceTooLong(USHORT number) {
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  TraceError(number);
}

}  // namespace

DWORD AwaitInstallerExitCode(HANDLE process, const InstallerWaitCalls& calls) {
  if (calls.wait(process, INFINITE) != WAIT_OBJECT_0) {
    TraceError(15);
    return ERROR_INSTALL_FAILURE;
  }
  DWORD exitCode = 0;
  if (!calls.exitCode(process, &exitCode)) {
    TraceError(15);
    return ERROR_INSTALL_FAILURE;
  }
  trace::Message(kTraceGuid, 14, trace::kComponents, exitCode);
  return exitCode == STILL_ACTIVE ? ERROR_INSTALL_FAILURE : exitCode;
}

bool LaunchInstaller(LaunchRecord* record, const wchar_t* executable, const wchar_t* arguments) {
  record->startup = {};
  record->startup.cb = sizeof(record->startup);
  record->process = {};

  wchar_t systemFolder[PathBuffer::kCapacity] = {};
  UINT length = GetSystemDirectoryW(systemFolder, PathBuffer::kCapacity);
  if (length == 0) {
    TraceError(10);
    return false;
  }
  if (length >= PathBuffer::kCapacity) {
    TraceTooLong(10);
    return false;
  }

  PathBuffer program;
  if (!program.Append(systemFolder) || !program.Append(L"\\") || !program.Append(executable)) {
    TraceTooLong(11);
    return false;
  }

  // The program path is quoted as well as the package path within the
  // arguments, so a blank in either cannot split the line.
  PathBuffer commandLine;
  if (!commandLine.Append(L"\"") || !commandLine.Append(program.c_str()) || !commandLine.Append(L"\" ") ||
      !commandLine.Append(arguments)) {
    TraceTooLong(12);
    return false;
  }

  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &record->startup, &record->process)) {
    TraceError(13);
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
