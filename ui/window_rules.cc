#include "ui/window_rules.h"

namespace bastion {

ButtonAction ClassifyButtonText(std::u16string_view text) {
  // The page's abort button sends "Abort pressed", which the upper-case rule
  // never matches; its label promises an abort, so it is one.
  if (text.find(u"ABORT") != std::u16string_view::npos || text == u"Abort pressed") {
    return ButtonAction::kExitAbort;
  }
  if (text.find(u"CLOSE") != std::u16string_view::npos) return ButtonAction::kExitClose;
  if (text.find(u"RETRY") != std::u16string_view::npos) return ButtonAction::kRetry;
  return ButtonAction::kNone;
}

bool KeyMessagePasses(unsigned message, unsigned long long code, KeyModifiers modifiers) {
  if (message < keys::kFirstKeyMessage || message > keys::kLastKeyMessage) return true;
  const bool plain = !modifiers.shift && !modifiers.control && !modifiers.alt;
  switch (message) {
    case keys::kKeyDown:
    case keys::kKeyUp:
      if (code == keys::kTab) return !modifiers.control && !modifiers.alt;
      if (code == keys::kReturn || code == keys::kSpace) return plain;
      return code >= keys::kLeft && code <= keys::kDown && plain;
    case keys::kSysKeyDown:
    case keys::kSysKeyUp:
      return code == keys::kF4 && modifiers.alt && !modifiers.control;
    case keys::kChar:
      return (code == keys::kTab && !modifiers.control && !modifiers.alt) ||
             ((code == keys::kReturn || code == keys::kSpace) && plain);
    default:  // dead keys, system characters, WM_UNICHAR
      return false;
  }
}

DragPoint InitialWindowOrigin(long desktopWidth, long desktopHeight, long centerWidth,
                              long centerHeight) {
  return {desktopWidth / 2 - centerWidth / 2, desktopHeight / 2 - centerHeight / 2};
}

bool IsStrictlyInside(const DragRect& window, const DragPoint& cursor) {
  return window.left < cursor.x && cursor.x < window.right && window.top < cursor.y &&
         cursor.y < window.bottom;
}

DragPoint DragOffset(const DragRect& window, const DragPoint& cursor) {
  return {cursor.x - window.left, cursor.y - window.top};
}

DragPoint DraggedOrigin(const DragPoint& cursor, const DragPoint& offset) {
  return {cursor.x - offset.x, cursor.y - offset.y};
}

namespace {

template <typename Unit>
bool IsAsciiLetter(Unit c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

template <typename Unit>
bool IsAsciiAlnum(Unit c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9');
}

template <typename Unit>
bool IsSeparator(Unit c) {
  return c == '\\' || c == '/';
}

// ECMAScript's "." matches everything but the four line terminators.
template <typename Unit>
bool IsAnyCharacter(Unit c) {
  const auto u = static_cast<char32_t>(c);
  return u != U'\n' && u != U'\r' && u != 0x2028 && u != 0x2029;
}

template <typename Unit>
bool IsHtmlAt(const Unit* text, std::size_t at, std::size_t length) {
  static const char kHtml[] = "html";
  if (length - at < 4) return false;
  for (std::size_t k = 0; k < 4; ++k) {
    Unit c = text[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<Unit>(c - 'A' + 'a');
    if (c != static_cast<Unit>(kHtml[k])) return false;
  }
  return true;
}

// The part after "X:\": folders "name\" and then "name" + any unit + "html".
// A folder must take its whole alphanumeric run (a separator follows it), so
// only the last name needs trying at every split of its run.
template <typename Unit>
bool MatchesTail(const Unit* text, std::size_t at, std::size_t length) {
  while (true) {
    std::size_t run = at;
    while (run < length && IsAsciiAlnum(text[run])) ++run;
    if (run == at) return false;
    for (std::size_t split = at + 1; split <= run && split < length; ++split) {
      if (IsAnyCharacter(text[split]) && IsHtmlAt(text, split + 1, length)) return true;
    }
    if (run >= length || !IsSeparator(text[run])) return false;
    at = run + 1;
  }
}

}  // namespace

template <typename Unit>
bool IsHtmlFilePathText(const Unit* text) {
  if (text == nullptr) return false;
  std::size_t length = 0;
  while (text[length] != 0) {
    if (++length >= kMaxHtmlPathUnits) return false;
  }
  for (std::size_t start = 0; start + 3 <= length; ++start) {
    if (IsAsciiLetter(text[start]) && text[start + 1] == ':' && IsSeparator(text[start + 2]) &&
        MatchesTail(text, start + 3, length)) {
      return true;
    }
  }
  return false;
}

template bool IsHtmlFilePathText<char16_t>(const char16_t*);
template bool IsHtmlFilePathText<wchar_t>(const wchar_t*);
template bool IsHtmlFilePathText<char>(const char*);

}  // namespace bastion
