// The progress window's rules that need no Windows API: what a press of one
// of the page's buttons means, where the window starts and how a drag moves
// it, and how a local .html file path is told from page text.
#ifndef BASTION_UI_WINDOW_RULES_H_
#define BASTION_UI_WINDOW_RULES_H_

#include <cstddef>
#include <string_view>

namespace bastion {

// What a press of one of the page's buttons means, decided from the text the
// page sends with it.
enum class ButtonAction {
  kNone,
  kExitAbort,  // end the process with exit code 1
  kExitClose,  // end the process with exit code 2
  kRetry,      // release the waiting download attempt
};

inline constexpr unsigned kAbortExitCode = 1;
inline constexpr unsigned kCloseExitCode = 2;

// Case-sensitive, in this order: "ABORT" anywhere, or exactly the abort
// button's own text "Abort pressed"; then "CLOSE"; then "RETRY".
ButtonAction ClassifyButtonText(std::u16string_view text);

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
