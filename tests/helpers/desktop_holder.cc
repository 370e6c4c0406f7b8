// Holds Wine's desktop for a whole test stage. The first process that needs
// the desktop starts it (explorer.exe /desktop), the desktop inherits that
// process's standard handles and closes soon after its last user has gone:
// started by a test, it keeps the test's pipe open and ctest waits for it.
// Started before the tests with NUL handles, this keeps one quiet desktop up
// for all of them, and "BastionTestDesktopHeld" tells them it is there.
// It ends when the stage kills it, or after an hour.
#include <windows.h>

int wmain() {
  HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"BastionTestDesktopHeld");
  if (held == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  if (GetDesktopWindow() == nullptr) return 2;
  SetEvent(held);
  Sleep(60 * 60 * 1000);
  CloseHandle(held);
  return 0;
}
