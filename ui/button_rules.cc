#include "ui/button_rules.h"

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

}  // namespace bastion
