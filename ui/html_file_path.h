// Tells a local .html file path from page text: the content handed to the
// progress window is either, and only a path is navigated to.
#ifndef BASTION_UI_HTML_FILE_PATH_H_
#define BASTION_UI_HTML_FILE_PATH_H_

#include <cstddef>

namespace bastion {

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

#endif  // BASTION_UI_HTML_FILE_PATH_H_
