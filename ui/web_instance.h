// The progress window as the installation procedure sees it: a record made
// once, page calls through RunCommand, and names the page may call back. The
// record's members, the table of live records and the page's buttons are the
// window code's own.
#ifndef BASTION_UI_WEB_INSTANCE_H_
#define BASTION_UI_WEB_INSTANCE_H_

#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>
#include <oleauto.h>

#include <atomic>
#include <map>
#include <string>

#include "ui/com_ptr.h"

namespace bastion {

struct WebInstance;
struct RunCommandRequest;

using MessageObserver = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using PageLogFunction = void (*)(const wchar_t* format, ...);
using CloseWindowFunction = void (*)(WebInstance*);
using ExternalCallback = void (*)(BSTR);

// Always stores a record in `*instance`; returns its window, null when none
// could be made.
HWND CreateWebInstance(WebInstance** instance, const wchar_t* content, const wchar_t* className,
                       DWORD style, int centerWidth, int centerHeight, int width, int height,
                       MessageObserver observer);
void SetPageLog(WebInstance* instance, PageLogFunction log);
void SetCloseWindow(WebInstance* instance, CloseWindowFunction close);
void CloseWebInstance(WebInstance* instance);
// The window of a record; null once it is gone (or never existed).
HWND WebInstanceWindow(const WebInstance* instance);

// 0 when delivered to the window thread; 1 with no record or no window.
int RunCommand(WebInstance* instance, const wchar_t* function, int argc, const wchar_t* const* argv);
// 0 when added; 1 with no record or a name already registered.
int RegisterExternal(WebInstance* instance, const wchar_t* name, ExternalCallback callback);

// For code that waits on the page (a RETRY press): a manual-reset event,
// signalled once the record has no window: creation failed, or the window was
// destroyed (Alt+F4, CloseWebInstance). Owned by the record and valid for the
// life of the process; null for a null record. Wait on it together with
// RetryEvent, e.g.
//   HANDLE waits[] = {RetryEvent, WebInstanceGoneEvent(instance)};
//   WaitForMultipleObjects(2, waits, FALSE, INFINITE);
HANDLE WebInstanceGoneEvent(const WebInstance* instance);

// True once the page's script ran "ForceRetry" successfully, which shows the
// RETRY button; false while no page is loaded (no document or no script, as
// when the page failed to load), and for a null record.
bool WebInstanceRetryShown(const WebInstance* instance);

// The event OnButton sets for RETRY: the process's RetryEvent, handed over
// once at start-up, before the page can call back.
void SetRetryEvent(HANDLE event);

// The event OnButton sets for ABORT and CLOSE: the process's AbortEvent
// (manual-reset), handed over once at start-up. Handing one over forgets an
// earlier press.
void SetAbortEvent(HANDLE event);
// The exit code the first ABORT or CLOSE press asked for (kAbortExitCode or
// kCloseExitCode); 0 before any press.
unsigned RequestedExitCode();

// Window thread: takes the request RunCommand is sending out of the record;
// null when none is pending.
RunCommandRequest* TakePendingRequest(WebInstance* instance);

struct ExternalEntry {
  LONG dispId = 0;
  ExternalCallback callback = nullptr;
};

// Guards one record's externals and pending request; entered by both threads.
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
  // The request of the RunCommand call in progress, on that call's stack;
  // guarded by `lock`.
  RunCommandRequest* pendingRequest = nullptr;
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

// The page's buttons: asks the run to end (1 for ABORT, 2 for CLOSE) by
// setting AbortEvent, or sets RetryEvent (RETRY). It never ends the process
// itself: the procedure ends the run where it can clean up, and not while the
// installer runs.
void OnButton(BSTR text);

#endif  // BASTION_UI_WEB_INSTANCE_H_
