// What a press of one of the page's buttons means, decided from the text the
// page sends with it.
#ifndef BASTION_UI_BUTTON_RULES_H_
#define BASTION_UI_BUTTON_RULES_H_

#include <string_view>

namespace bastion {

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

}  // namespace bastion

#endif  // BASTION_UI_BUTTON_RULES_H_
