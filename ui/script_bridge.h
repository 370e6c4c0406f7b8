// Calls from the procedure into the page's script (RunCommand delivers them to
// the window thread), and the loading of the page into the browser.
#ifndef BASTION_UI_SCRIPT_BRIDGE_H_
#define BASTION_UI_SCRIPT_BRIDGE_H_

#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>
#include <oaidl.h>

#include "ui/web_instance.h"

namespace bastion {

// Carried by WM_USER from RunCommand to the window thread. Element k of the
// argument array is argument k (not the reversed order DISPPARAMS usually
// has); the page's functions take at most one argument.
struct RunCommandRequest {
  const wchar_t* function;
  DISPPARAMS parameters;
};

// Window thread: calls the page function through the document's script,
// and records on the record whether a "ForceRetry" call succeeded.
void RunScript(WebInstance* instance, RunCommandRequest* request);
// Invokes the request on a script object (the document's get_Script); true
// when the page function ran.
bool InvokeScriptFunction(IDispatch* script, RunCommandRequest* request, PageLogFunction log);

// 0, or -1 when the browser, its document or the text string is missing.
int DisplayHtml(HWND window, const wchar_t* text);
// 0; -5 no browser; -6 the path string cannot be made.
int NavigateToFile(HWND window, const wchar_t* path);
bool IsHtmlFilePath(const wchar_t* text);
// Consumes the browser reference; the page's window object or null.
IHTMLWindow2* GetParentWindow(IWebBrowser2* browser);

}  // namespace bastion

#endif  // BASTION_UI_SCRIPT_BRIDGE_H_
