// Runs the rest of its command line and prints the child's full exit code,
// which wine64's own exit status cuts to 8 bits, as "[exit N]" on stdout.
// With a leading "--hold-installer-mutex" it holds "Global\_MSIExecute" while
// the child runs, as a running Windows Installer would (Wine's never does).
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

namespace {

const wchar_t* SkipBlanks(const wchar_t* p) {
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// Past the first word of a command line, quoted or not.
const wchar_t* SkipWord(const wchar_t* p) {
  if (*p == L'"') {
    for (++p; *p != L'\0' && *p != L'"'; ++p) {
    }
    if (*p == L'"') ++p;
  } else {
    while (*p != L'\0' && *p != L' ' && *p != L'\t') ++p;
  }
  return SkipBlanks(p);
}

}  // namespace

int wmain() {
  const wchar_t* line = SkipWord(GetCommandLineW());
  constexpr wchar_t kHoldMutex[] = L"--hold-installer-mutex";
  HANDLE mutex = nullptr;
  if (wcsncmp(line, kHoldMutex, wcslen(kHoldMutex)) == 0) {
    line = SkipWord(line);
    mutex = CreateMutexW(nullptr, TRUE, L"Global\\_MSIExecute");
    if (mutex == nullptr) {
      fprintf(stdout, "[mutex failed %lu]\n", GetLastError());
      return 255;
    }
  }

  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  wchar_t* child = _wcsdup(line);
  // Under load Wine has failed a start with ERROR_INTERNAL_ERROR before the
  // child ran at all, once in a long test run: such a start is tried again.
  bool started = CreateProcessW(nullptr, child, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  if (!started && GetLastError() == ERROR_INTERNAL_ERROR) {
    Sleep(500);
    started = CreateProcessW(nullptr, child, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  }
  if (!started) {
    fprintf(stdout, "[start failed %lu]\n", GetLastError());
    return 255;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  free(child);
  if (mutex != nullptr) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
  fprintf(stdout, "[exit %lu]\n", code);
  fflush(stdout);
  return static_cast<int>(code);
}
