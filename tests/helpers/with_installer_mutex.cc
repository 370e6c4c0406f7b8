// Holds "Global\_MSIExecute" as a running Windows Installer would (Wine's
// never creates it) while it runs the rest of its command line, then prints
// the child's full exit code as "[exit N]", like exit_code_runner.
#include <windows.h>

#include <stdio.h>

int wmain() {
  const wchar_t* line = GetCommandLineW();
  if (*line == L'"') {
    for (++line; *line != L'\0' && *line != L'"'; ++line) {
    }
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;

  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\_MSIExecute");
  if (mutex == nullptr) {
    fprintf(stdout, "[mutex failed %lu]\n", GetLastError());
    return 255;
  }
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  wchar_t* child = _wcsdup(line);
  if (!CreateProcessW(nullptr, child, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    fprintf(stdout, "[start failed %lu]\n", GetLastError());
    return 255;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  free(child);
  fprintf(stdout, "[exit %lu]\n", code);
  fflush(stdout);
  return static_cast<int>(code);
}
