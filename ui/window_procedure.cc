#include "ui/window_procedure.h"

#include <cstdarg>
#include <cstdint>
#include <cwchar>
#include <string>

#include "ui/browser.h"
#include "ui/script_bridge.h"
#include "ui/window_rules.h"

namespace bastion {

namespace {

// Each window thread owns one window and ends its loop when its windows are
// gone; a process-wide count would keep one thread's loop alive for another's.
thread_local uint8_t g_windowCount = 0;

// Touched only by window threads: the low-level hook runs on the thread
// that installed it, inside its message loop.
HWND g_dragWindow = nullptr;
DragPoint g_dragOffset;
bool g_dragging = false;
HHOOK g_mouseHook = nullptr;

LRESULT IgnoreMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

DragPoint CursorPoint() {
  POINT cursor{};
  GetCursorPos(&cursor);
  return {cursor.x, cursor.y};
}

}  // namespace

void SetDragWindow(HWND window) { g_dragWindow = window; }

bool KeyMessageAllowed(const MSG& message) {
  // The state as of the message being read, which GetKeyState reports.
  KeyModifiers modifiers;
  modifiers.shift = GetKeyState(VK_SHIFT) < 0;
  modifiers.control = GetKeyState(VK_CONTROL) < 0;
  modifiers.alt = GetKeyState(VK_MENU) < 0;
  return KeyMessagePasses(message.message, message.wParam, modifiers);
}

void DebugPrint(const wchar_t* format, ...) {
  wchar_t buffer[1024];
  va_list arguments;
  va_start(arguments, format);
  int written = _vsnwprintf(buffer, 1024, format, arguments);
  va_end(arguments);
  if (written < 0 || written >= 1024) buffer[1023] = L'\0';
  OutputDebugStringW(buffer);
}

LRESULT CALLBACK DragMouseProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code != HC_ACTION) return CallNextHookEx(nullptr, code, wParam, lParam);
  switch (wParam) {
    case WM_LBUTTONDOWN: {
      DragPoint cursor = CursorPoint();
      g_dragOffset = cursor;
      RECT bounds{};
      GetWindowRect(g_dragWindow, &bounds);
      DragRect window{bounds.left, bounds.top, bounds.right, bounds.bottom};
      if (IsStrictlyInside(window, cursor)) {
        g_dragOffset = DragOffset(window, cursor);
        g_dragging = true;
      }
      break;
    }
    case WM_LBUTTONUP:
      g_dragging = false;
      break;
    case WM_MOUSEMOVE:
      if (g_dragging) {
        DragPoint origin = DraggedOrigin(CursorPoint(), g_dragOffset);
        DebugPrint(L"X: %d Y: %d\n", static_cast<int>(origin.x), static_cast<int>(origin.y));
        SetWindowPos(g_dragWindow, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE);
        return 0;
      }
      break;
    default:
      break;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK WebInstanceWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (CreateBrowser(window) != kBrowserCreated) return -1;
      ++g_windowCount;
      return 0;
    case WM_DESTROY:
      DestroyBrowser(window);
      // A failed WM_CREATE also ends here; it was never counted.
      if (g_windowCount > 0 && --g_windowCount == 0) PostQuitMessage(0);
      return 1;
    case WM_MOUSEACTIVATE:
      if (lParam != 0 && HIWORD(lParam) == WM_RBUTTONDOWN) return 0;
      if (lParam != 0 && HIWORD(lParam) == WM_LBUTTONDOWN && g_mouseHook == nullptr) {
        g_mouseHook = SetWindowsHookExW(WH_MOUSE_LL, DragMouseProc, nullptr, 0);
      }
      break;
    default:
      break;
  }
  if (WebInstance* instance = FindInstance(window)) {
    if (message == kRunCommandMessage) {
      if (RunCommandRequest* request = TakePendingRequest(instance)) RunScript(instance, request);
    }
    if (instance->messageObserver != nullptr) {
      instance->messageObserver(window, message, wParam, lParam);
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t* LoadProgressPage(HMODULE module) {
  if (module == nullptr) module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(23), MAKEINTRESOURCEW(kProgressPageResource),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return nullptr;
  DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return nullptr;
  const auto* text = static_cast<const wchar_t*>(LockResource(loaded));
  // Used in place as a string: it must end in one NUL unit.
  if (text == nullptr || size < sizeof(wchar_t) || size % sizeof(wchar_t) != 0 ||
      text[size / sizeof(wchar_t) - 1] != L'\0') {
    return nullptr;
  }
  return text;
}

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
