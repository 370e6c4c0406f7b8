// The browser control inside a progress window: made when the window is
// created, torn down with it, and reached through the window's user data.
#ifndef BASTION_UI_BROWSER_H_
#define BASTION_UI_BROWSER_H_

#include <windows.h>

#include <exdisp.h>
#include <ole2.h>

#include "ui/com_ptr.h"

namespace bastion {

// Results of CreateBrowser.
inline constexpr int kBrowserCreated = 0;
inline constexpr int kBrowserNoCell = -1;
inline constexpr int kBrowserNotCreated = -2;
inline constexpr int kBrowserNotActivated = -3;
inline constexpr int kBrowserNoEvents = -4;

int CreateBrowser(HWND window);
// 1 when the window's record was found and let go, else 0.
int DestroyBrowser(HWND window);

// The browser of a window, from the cell in its user data; empty when none.
ComPtr<IWebBrowser2> BrowserOfWindow(HWND window);

// Puts `object` into a fresh cell in the window's user data (the cell holds a
// pointer, whatever its width); false without memory.
bool AttachBrowserCell(HWND window, IOleObject* object);

}  // namespace bastion

#endif  // BASTION_UI_BROWSER_H_
