// Makes a progress window in a process of its own and reports into the file
// named by its first argument:
//   window=<0|1> run=<RunCommand result> gone=<0|1: the record was gone
//   when CreateWebInstance returned>
// With "close" as second argument, it then closes the window and reports
// run= once more. A file, not a pipe: without a display Wine starts its
// desktop process from here, which would inherit a pipe and hold it open.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "ui/web_instance.h"

using namespace bastion;

namespace {

LRESULT Observer(HWND, UINT, WPARAM, LPARAM) { return 0; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 100;
  FILE* report = _wfopen(argv[1], L"w");
  if (report == nullptr) return 101;
  WebInstance* instance = nullptr;
  HWND window = CreateWebInstance(&instance, L"<html><body>probe</body></html>", L"Tiny UI",
                                  0x90080000, 500, 500, 600, 310, Observer);
  const wchar_t* argument = L"Server: probe";
  int run = RunCommand(instance, L"SetServerName", 1, &argument);
  bool gone = WaitForSingleObject(WebInstanceGoneEvent(instance), 0) == WAIT_OBJECT_0;
  std::fprintf(report, "window=%d run=%d gone=%d\n", window != nullptr ? 1 : 0, run, gone ? 1 : 0);
  if (argc > 2 && std::wcscmp(argv[2], L"close") == 0) {
    CloseWebInstance(instance);
    run = RunCommand(instance, L"SetServerName", 1, &argument);
    gone = WaitForSingleObject(WebInstanceGoneEvent(instance), 5000) == WAIT_OBJECT_0;
    std::fprintf(report, "closed run=%d gone=%d\n", run, gone ? 1 : 0);
  }
  std::fclose(report);
  return 0;
}
