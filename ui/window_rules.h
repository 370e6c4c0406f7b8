// The progress window's rules that need no Windows API: what a press of one
// of the page's buttons means, which keys reach the page, where the window
// starts and how a drag moves it, and how a local .html file path is told
// from page text.
#ifndef BASTION_UI_WINDOW_RULES_H_
#define BASTION_UI_WINDOW_RULES_H_

#include <cstddef>
#include <string_view>

namespace bastion {

// What a press of one of the page's buttons means, decided from the text the
// page sends with it.
enum class ButtonAction {
  kNone,
  kExitAbort,  // end the run with exit code 1
  kExitClose,  // end the run with exit code 2
  kRetry,      // release the waiting download attempt
};

inline constexpr unsigned kAbortExitCode = 1;
inline constexpr unsigned kCloseExitCode = 2;

// Case-sensitive, in this order: "ABORT" anywhere, or exactly the abort
// button's own text "Abort pressed"; then "CLOSE"; then "RETRY".
ButtonAction ClassifyButtonText(std::u16string_view text);

// The keys that may reach the page. The window can run as LocalSystem on a
// user's desktop: every key the browser turns into a menu, a dialog, help,
// printing, a navigation or a launch is dropped before translation.
namespace keys {
// Window messages (winuser.h).
inline constexpr unsigned kKeyDown = 0x0100;
inline constexpr unsigned kKeyUp = 0x0101;
inline constexpr unsigned kChar = 0x0102;
inline constexpr unsigned kSysKeyDown = 0x0104;
inline constexpr unsigned kSysKeyUp = 0x0105;
inline constexpr unsigned kFirstKeyMessage = 0x0100;
inline constexpr unsigned kLastKeyMessage = 0x0109;
// Virtual keys.
inline constexpr unsigned kTab = 0x09;
inline constexpr unsigned kReturn = 0x0D;
inline constexpr unsigned kSpace = 0x20;
inline constexpr unsigned kLeft = 0x25;
inline constexpr unsigned kDown = 0x28;
inline constexpr unsigned kApps = 0x5D;
inline constexpr unsigned kF1 = 0x70;
inline constexpr unsigned kF4 = 0x73;
inline constexpr unsigned kF24 = 0x87;
inline constexpr unsigned kBrowserBack = 0xA6;
inline constexpr unsigned kBrowserHome = 0xAC;
inline constexpr unsigned kLaunchMail = 0xB4;
inline constexpr unsigned kLaunchApp2 = 0xB7;
}  // namespace keys

struct KeyModifiers {
  bool shift = false;
  bool control = false;
  bool alt = false;
};

// True when a message may be translated and dispatched. Messages that are
// not key messages always pass. Of the key messages only these pass: Tab and
// Shift+Tab, Enter, Space and the arrows without modifiers, Alt+F4 (Ctrl
// not held), which closes only the window, and the characters Tab, Enter and
// Space that those keys translate to. `code` is the message's wParam.
bool KeyMessagePasses(unsigned message, unsigned long long code, KeyModifiers modifiers);

// Where the progress window starts and how a drag moves it: pure arithmetic,
// kept apart from the hook that feeds it cursor positions.
struct DragPoint {
  long x = 0;
  long y = 0;
};

struct DragRect {
  long left = 0;
  long top = 0;
  long right = 0;
  long bottom = 0;
};

// Left and top of a new window: half the desktop minus half the extents, each
// halving truncating toward zero (the extents are deliberately not the size).
DragPoint InitialWindowOrigin(long desktopWidth, long desktopHeight, long centerWidth,
                              long centerHeight);

// A press starts a drag only strictly inside the window: not on its edge.
bool IsStrictlyInside(const DragRect& window, const DragPoint& cursor);

// The cursor's place inside the window, kept for the whole drag.
DragPoint DragOffset(const DragRect& window, const DragPoint& cursor);

// The window's new left and top for a cursor position during the drag.
DragPoint DraggedOrigin(const DragPoint& cursor, const DragPoint& offset);

// The content handed to the progress window is either a local .html file path
// or page text, and only a path is navigated to.
// Texts of this many code units or more are never paths.
inline constexpr std::size_t kMaxHtmlPathUnits = 260;

// True when the zero-terminated text holds, anywhere in it, a match of
//   [a-zA-Z]:[\\/](?:[a-zA-Z0-9]+[\\/])*([a-zA-Z0-9]+.html)
// searched as an ECMAScript pattern, case-insensitively. The dot before
// "html" is the pattern's any-character (not a line terminator).
// Instantiated for char16_t (and wchar_t, which is the same width on Windows).
template <typename Unit>
bool IsHtmlFilePathText(const Unit* text);

}  // namespace bastion

#endif  // BASTION_UI_WINDOW_RULES_H_
