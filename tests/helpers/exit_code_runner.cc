// Runs the rest of its command line and prints the child's full exit code,
// which wine64's own exit status cuts to 8 bits, as "[exit N]" on stdout.
#include <windows.h>

#include <stdio.h>

int wmain() {
  const wchar_t* line = GetCommandLineW();
  // Skip our own program name, quoted or not.
  if (*line == L'"') {
    for (++line; *line != L'\0' && *line != L'"'; ++line) {
    }
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;

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
  fprintf(stdout, "[exit %lu]\n", code);
  fflush(stdout);
  return static_cast<int>(code);
}
