// fmt's floating-point code is compiled out of the stub (FMT_USE_FLOAT,
// FMT_USE_DOUBLE and FMT_USE_LONG_DOUBLE are 0, about 41 KB), and fmt 9 then
// prints nothing for such a value. So formatting one is refused where it is
// compiled: the format string's check instantiates these formatters' parse.
#ifndef BASTION_DIAGNOSTICS_NO_FLOAT_FORMAT_H_
#define BASTION_DIAGNOSTICS_NO_FLOAT_FORMAT_H_

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace bastion {

struct RefusedFloatFormatter {
  template <typename ParseContext>
  constexpr auto parse(ParseContext& context) {
    static_assert(sizeof(ParseContext) == 0,
                  "no floating-point formatting: fmt's float code is compiled out of the stub");
    return context.begin();
  }
  template <typename T, typename FormatContext>
  auto format(T, FormatContext& context) const {
    return context.out();
  }
};

}  // namespace bastion

template <> struct fmt::formatter<float, char> : bastion::RefusedFloatFormatter {};
template <> struct fmt::formatter<double, char> : bastion::RefusedFloatFormatter {};
template <> struct fmt::formatter<long double, char> : bastion::RefusedFloatFormatter {};
template <> struct fmt::formatter<float, wchar_t> : bastion::RefusedFloatFormatter {};
template <> struct fmt::formatter<double, wchar_t> : bastion::RefusedFloatFormatter {};
template <> struct fmt::formatter<long double, wchar_t> : bastion::RefusedFloatFormatter {};

#endif  // BASTION_DIAGNOSTICS_NO_FLOAT_FORMAT_H_
