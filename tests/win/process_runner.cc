#include "win/process_runner.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  Pipe() {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  }
  ~Pipe() {
    if (read) CloseHandle(read);
    if (write) CloseHandle(write);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  void CloseWrite() {
    CloseHandle(write);
    write = nullptr;
  }
};

void Drain(HANDLE pipe, std::string* into) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) into->append(buffer, got);
}

}  // namespace

ProcessResult RunProcess(const std::wstring& commandLine, const wchar_t* environment, DWORD timeoutMs) {
  ProcessResult result;
  Pipe out;
  Pipe err;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out.write;
  si.hStdError = err.write;
  PROCESS_INFORMATION pi = {};
  std::wstring mutableLine = commandLine;
  result.started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                                  CREATE_UNICODE_ENVIRONMENT, const_cast<wchar_t*>(environment),
                                  nullptr, &si, &pi) != 0;
  out.CloseWrite();
  err.CloseWrite();
  if (!result.started) return result;
  std::thread outReader(Drain, out.read, &result.out);
  std::thread errReader(Drain, err.read, &result.err);
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0xDEAD);
  WaitForSingleObject(pi.hProcess, INFINITE);
  GetExitCodeProcess(pi.hProcess, &result.exitCode);
  outReader.join();
  errReader.join();
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return result;
}

std::wstring TestDirectory() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring ProductPath() {
  std::wstring tests = TestDirectory();
#ifdef BASTION_TESTED_TWIN
  // A site's own build ships its own pins and signature; the tests run the
  // product's twin, pinned and signed with the test PKI.
  return tests + L"product\\BastionSetup.exe";
#else
  // build/win64/tests/ -> build/win64/BastionSetup.exe
  std::wstring parent = tests.substr(0, tests.find_last_of(L"\\/", tests.size() - 2) + 1);
  return parent + L"BastionSetup.exe";
#endif
}

namespace {

// The desktop process (explorer.exe /desktop) is started by the first
// process that needs it, WinVerifyTrust and any window among them, and
// inherits that process's standard handles. Started by a product run whose
// standard error is a test's pipe, it keeps the pipe open for as long as it
// lives, and reading the child's output never ends. The test stages hold a
// quiet desktop for all tests (tests/helpers/desktop_holder.cc); without one,
// a product run whose standard handles are all NUL brings it up first.
void StartDesktopQuietly() {
  HANDLE held = OpenEventW(SYNCHRONIZE, FALSE, L"BastionTestDesktopHeld");
  if (held != nullptr) {
    const DWORD wait = WaitForSingleObject(held, 60000);
    CloseHandle(held);
    if (wait == WAIT_OBJECT_0) return;
  }
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  if (nul == INVALID_HANDLE_VALUE) return;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi = {};
  std::wstring line = L"\"" + ProductPath() + L"\" -v";
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 60000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(nul);
}

class QuietDesktop : public ::testing::Environment {
 public:
  void SetUp() override { StartDesktopQuietly(); }
};

const ::testing::Environment* const g_quietDesktop =
    ::testing::AddGlobalTestEnvironment(new QuietDesktop);

}  // namespace
