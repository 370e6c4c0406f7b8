// Stands in for msiexec.exe in the package-hold test: it is given the
// installer's command line ("/i "<package>" /qn /l*v "<package>.log""),
// tries what another process of the same user could do to the package while
// the installer runs, and writes what happened to "%TEMP%\hold_report.txt":
//   read=<0|1> rename=<0|1> overwrite=<0|1> replace=<0|1> delete=<0|1>
// (1: the attempt succeeded), then the package path on a line of its own;
// a copy of the package it read goes to "%TEMP%\hold_package.msi".
// It ends with 3010, a code the caller must pass on, or with the code in
// BASTION_INSTALLER_EXIT (1641, which Wine's msiexec never gives).
#include <windows.h>

#include <stdio.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 6 || wcscmp(argv[1], L"/i") != 0 || wcscmp(argv[3], L"/qn") != 0 || wcscmp(argv[4], L"/l*v") != 0 ||
      std::wstring(argv[5]) != std::wstring(argv[2]) + L".log")
    return 87;
  const std::wstring package = argv[2];
  const std::wstring folder = package.substr(0, package.find_last_of(L'\\') + 1);

  wchar_t temp[MAX_PATH];
  DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return 5;
  // What it was given to install, kept for the test to compare.
  HANDLE reader = CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool read = reader != INVALID_HANDLE_VALUE;
  if (read) {
    HANDLE copy = CreateFileW((std::wstring(temp) + L"hold_package.msi").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    char buffer[65536];
    DWORD got = 0, done = 0;
    while (ReadFile(reader, buffer, sizeof(buffer), &got, nullptr) && got > 0) WriteFile(copy, buffer, got, &done, nullptr);
    CloseHandle(copy);
    CloseHandle(reader);
  }
  const std::wstring moved = package + L".swapped";
  const bool rename = MoveFileExW(package.c_str(), moved.c_str(), 0) != FALSE;
  if (rename) MoveFileExW(moved.c_str(), package.c_str(), 0);
  HANDLE writer = CreateFileW(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  const bool overwrite = writer != INVALID_HANDLE_VALUE;
  if (overwrite) CloseHandle(writer);
  // Another file moved over the package, as a swap would do it.
  const std::wstring other = folder + L"swap.msi";
  HANDLE made = CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (made != INVALID_HANDLE_VALUE) CloseHandle(made);
  const bool replace = MoveFileExW(other.c_str(), package.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  DeleteFileW(other.c_str());
  HANDLE deleter = CreateFileW(package.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
  const bool remove = deleter != INVALID_HANDLE_VALUE;
  if (remove) CloseHandle(deleter);

  // With an attacker process beside it (tests/helpers/package_attacker.cc),
  // named by BASTION_ATTACKER_STOP and BASTION_ATTACKER_REPORT: it is
  // stopped, and its report awaited, while the package is still held; a
  // minute at most, so that an attacker that died cannot hang the run.
  wchar_t stop[MAX_PATH], attacks[MAX_PATH];
  if (GetEnvironmentVariableW(L"BASTION_ATTACKER_STOP", stop, MAX_PATH) > 0 &&
      GetEnvironmentVariableW(L"BASTION_ATTACKER_REPORT", attacks, MAX_PATH) > 0) {
    HANDLE stopFile = CreateFileW(stop, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (stopFile != INVALID_HANDLE_VALUE) CloseHandle(stopFile);
    for (int wait = 0; wait < 6000 && GetFileAttributesW(attacks) == INVALID_FILE_ATTRIBUTES; ++wait) Sleep(10);
  }

  FILE* report = _wfopen((std::wstring(temp) + L"hold_report.txt").c_str(), L"w");
  if (report == nullptr) return 5;
  fprintf(report, "read=%d rename=%d overwrite=%d replace=%d delete=%d\n%ls\n", read, rename, overwrite, replace,
          remove, package.c_str());
  fclose(report);
  wchar_t code[16];
  const DWORD codeLength = GetEnvironmentVariableW(L"BASTION_INSTALLER_EXIT", code, 16);
  return codeLength > 0 && codeLength < 16 ? static_cast<int>(wcstoul(code, nullptr, 10)) : 3010;
}
