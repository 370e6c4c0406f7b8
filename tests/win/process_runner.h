// Runs a program as a child process and collects its exit code (all 32 bits,
// which wine64's own exit status cannot carry) and its output.
#ifndef BASTION_TESTS_WIN_PROCESS_RUNNER_H_
#define BASTION_TESTS_WIN_PROCESS_RUNNER_H_

#include <windows.h>

#include <string>

struct ProcessResult {
  bool started = false;
  DWORD exitCode = 0;
  std::string out;
  std::string err;
};

// `commandLine` is passed to CreateProcessW as is; `environment` (a
// double-NUL-terminated block) replaces the child's environment when given.
ProcessResult RunProcess(const std::wstring& commandLine, const wchar_t* environment = nullptr,
                         DWORD timeoutMs = 120000);

// Folder of the test binaries, and the product built beside them.
std::wstring TestDirectory();
std::wstring ProductPath();

#endif  // BASTION_TESTS_WIN_PROCESS_RUNNER_H_
