#include "ui/progress_window.h"

#include <string>

#include "ui/page_resource.h"

namespace bastion {

namespace {

LRESULT IgnoreMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

}  // namespace

ProgressWindowStart StartProgressWindow(WebInstance** instance, PageLogFunction log,
                                        const wchar_t* serverName, HMODULE module) {
  const wchar_t* page = LoadProgressPage(module);
  if (page == nullptr) return ProgressWindowStart::kNoPage;
  CreateWebInstance(instance, page, L"Tiny UI", 0x90080000, 500, 500, 600, 310, IgnoreMessage);
  SetPageLog(*instance, log);
  if (log != nullptr) log(L"Log function registered");
  RegisterExternal(*instance, L"closebtn", OnButton);
  RegisterExternal(*instance, L"abortbtn", OnButton);
  SetCloseWindow(*instance, CloseWebInstance);
  if (log != nullptr) log(L"Close Window function registered");
  std::wstring line = L"Server: ";
  if (serverName != nullptr) line += serverName;
  const wchar_t* argument = line.c_str();
  RunCommand(*instance, L"SetServerName", 1, &argument);
  return ProgressWindowStart::kStarted;
}

}  // namespace bastion
