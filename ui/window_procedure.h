// The progress window's procedure and the hook that drags it.
#ifndef BASTION_UI_WINDOW_PROCEDURE_H_
#define BASTION_UI_WINDOW_PROCEDURE_H_

#include <windows.h>

namespace bastion {

// WM_USER: wParam points to a RunCommandRequest. WM_USER + 1: wParam points
// to a `const wchar_t*` holding new page text for the window.
inline constexpr UINT kRunCommandMessage = WM_USER;
inline constexpr UINT kReplacePageMessage = WM_USER + 1;

LRESULT CALLBACK WebInstanceWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK DragMouseProc(int code, WPARAM wParam, LPARAM lParam);

// The window the drag hook moves.
void SetDragWindow(HWND window);

// printf-style text to the debugger, cut to 1,023 units.
void DebugPrint(const wchar_t* format, ...);

}  // namespace bastion

#endif  // BASTION_UI_WINDOW_PROCEDURE_H_
