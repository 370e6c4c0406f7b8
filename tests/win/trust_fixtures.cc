#include "win/trust_fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "win/process_runner.h"

std::wstring FixturePath(const wchar_t* name) { return TestDirectory() + L"\\trust\\" + name; }

std::vector<BYTE> ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::wstring& path) {
  const auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string OneLinePem(const std::wstring& path) {
  std::string line;
  for (char c : ReadText(path)) {
    if (c != '\r' && c != '\n') line += c;
  }
  return line;
}

bool WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

namespace {

// Wine's WinVerifyTrust starts Wine's desktop process (explorer.exe
// /desktop) when none runs, and the desktop inherits the standard error of
// the process that called it. When that is a product run whose standard
// error is a test's pipe, the desktop keeps the pipe open for as long as the
// test process lives, and reading the child's output never ends. So before
// any test, a product run whose standard handles are all NUL brings the
// desktop up; later runs find it there.
void StartDesktopQuietly() {
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
