// Conversions between UTF-8 text and the wide strings the system uses.
#ifndef BASTION_PLATFORM_TEXT_H_
#define BASTION_PLATFORM_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

namespace bastion {

// What a conversion does with bytes that are not UTF-8.
enum class InvalidUtf8 {
  kReplace,  // flags 0: they become U+FFFD, as for the page's and the URL's text
  kRefuse,   // MB_ERR_INVALID_CHARS: the conversion fails, as for registry values
};

// Code page 65001 over every byte of `text` (embedded zeros included). Empty
// text converts to an empty string; none when nothing converts.
std::optional<std::wstring> Utf8ToWide(std::string_view text, InvalidUtf8 invalid);

// Code page 65001, flags 0; empty when nothing converts.
std::string WideToUtf8(std::wstring_view text);

}  // namespace bastion

#endif  // BASTION_PLATFORM_TEXT_H_
