// Holds "Global\_MSIExecute" as a running Windows Installer would (Wine's
// never creates it). Signals "<name>_held" once it holds the mutex and lets
// it go when "<name>_release" is set, or after a minute.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  std::wstring name = argv[1];
  HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L"_held").c_str());
  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, (name + L"_release").c_str());
  if (held == nullptr || release == nullptr) return 3;
  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Global\\_MSIExecute");
  if (mutex == nullptr) return 4;
  SetEvent(held);
  WaitForSingleObject(release, 60000);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  CloseHandle(release);
  CloseHandle(held);
  return 0;
}
