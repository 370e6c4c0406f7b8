// The progress window: its page from the program's resources, its start by
// the installation procedure, its procedure and the hook that drags it.
#ifndef BASTION_UI_WINDOW_PROCEDURE_H_
#define BASTION_UI_WINDOW_PROCEDURE_H_

#include <windows.h>

#include "ui/web_instance.h"

namespace bastion {

// WM_USER: run the record's pending RunCommand request, if there is one.
// The message carries no pointer: its wParam and lParam are ignored, so a
// message that the procedure did not send runs nothing.
inline constexpr UINT kRunCommandMessage = WM_USER;

LRESULT CALLBACK WebInstanceWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK DragMouseProc(int code, WPARAM wParam, LPARAM lParam);

// Whether the window thread may translate and dispatch `message`: the key
// rule of window_rules with the keyboard's modifier state at the message.
bool KeyMessageAllowed(const MSG& message);

// The window the drag hook moves.
void SetDragWindow(HWND window);

// printf-style text to the debugger, cut to 1,023 units.
void DebugPrint(const wchar_t* format, ...);

// The progress page stored in the program's own file.
inline constexpr int kProgressPageResource = 101;

// The page as a terminated wide string inside the locked resource (RT_HTML
// 101, language 1033) of `module` (null: the program itself); null when it
// cannot be found, loaded, locked, or lacks its closing NUL.
const wchar_t* LoadProgressPage(HMODULE module = nullptr);

// The installation procedure's start of the progress window, in one call:
// the page from the program's resources, the window, the log function, the
// page's two buttons, the close function and the server line.
enum class ProgressWindowStart {
  kStarted,  // `*instance` holds a record (its window may still be missing)
  kNoPage,   // the page resource could not be loaded; nothing was started
};

// `serverName` is the server's name as wide text, shown as "Server: " + name.
// `module` holds the page resource; null means the program itself.
ProgressWindowStart StartProgressWindow(WebInstance** instance, PageLogFunction log,
                                        const wchar_t* serverName, HMODULE module = nullptr);

}  // namespace bastion

#endif  // BASTION_UI_WINDOW_PROCEDURE_H_
