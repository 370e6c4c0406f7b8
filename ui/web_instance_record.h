// The record behind a WebInstance handle, and the table of live records that
// the window procedure looks windows up in.
#ifndef BASTION_UI_WEB_INSTANCE_RECORD_H_
#define BASTION_UI_WEB_INSTANCE_RECORD_H_

#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>

#include <atomic>
#include <map>
#include <string>

#include "ui/com_ptr.h"
#include "ui/web_instance.h"

namespace bastion {

struct ExternalEntry {
  LONG dispId = 0;
  ExternalCallback callback = nullptr;
};

// Guards one record's externals; entered by both threads.
class CriticalSectionLock {
 public:
  CriticalSectionLock() { InitializeCriticalSection(&section_); }
  ~CriticalSectionLock() { DeleteCriticalSection(&section_); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class ScopedEnter {
 public:
  explicit ScopedEnter(CriticalSectionLock& lock) : lock_(lock) { lock_.Enter(); }
  ~ScopedEnter() { lock_.Leave(); }
  ScopedEnter(const ScopedEnter&) = delete;
  ScopedEnter& operator=(const ScopedEnter&) = delete;

 private:
  CriticalSectionLock& lock_;
};

// Made by CreateWebInstance and never freed: the procedure keeps using its
// pointer after the window is gone (Alt+F4), so a destroyed window leaves the
// record with a null hwnd instead of a dangling pointer.
struct WebInstance {
  WebInstance();
  ~WebInstance();
  WebInstance(const WebInstance&) = delete;
  WebInstance& operator=(const WebInstance&) = delete;

  const wchar_t* className = nullptr;
  DWORD style = 0;
  int centerWidth = 0;
  int centerHeight = 0;
  int width = 0;
  int height = 0;
  MessageObserver messageObserver = nullptr;
  const wchar_t* content = nullptr;
  ComPtr<IHTMLWindow2> htmlWindow;
  ComPtr<IHTMLDocument2> htmlDocument;
  ComPtr<IWebBrowser2> browser;
  std::atomic<HWND> hwnd{nullptr};
  std::atomic<PageLogFunction> log{nullptr};
  std::atomic<CloseWindowFunction> closeWindow{nullptr};
  std::map<std::wstring, ExternalEntry> externals;
  CriticalSectionLock lock;
  // Manual-reset; set once the record has no window and never will again.
  HANDLE gone = nullptr;
  // The outcome of the last "ForceRetry" RunScript made; written on the
  // window thread, read by the procedure.
  std::atomic<bool> retryShown{false};
};

// The live records by window; only window threads touch the table.
void EnterInstance(HWND window, WebInstance* instance);
WebInstance* FindInstance(HWND window);
// Removes and returns the window's record, or null when it has none.
WebInstance* TakeInstance(HWND window);

}  // namespace bastion

#endif  // BASTION_UI_WEB_INSTANCE_RECORD_H_
