// The progress window as the installation procedure sees it: a record made
// once, page calls through RunCommand, and names the page may call back.
#ifndef BASTION_UI_WEB_INSTANCE_H_
#define BASTION_UI_WEB_INSTANCE_H_

#include <windows.h>

#include <oleauto.h>

namespace bastion {

struct WebInstance;

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

}  // namespace bastion

// The page's buttons: ends the process (1 for ABORT, 2 for CLOSE) or sets
// RetryEvent (RETRY).
void OnButton(BSTR text);

#endif  // BASTION_UI_WEB_INSTANCE_H_
