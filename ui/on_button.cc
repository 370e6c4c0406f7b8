#include <string_view>

#include "Src/VTDropper/process_globals.h"
#include "ui/button_rules.h"
#include "ui/web_instance.h"

void OnButton(BSTR text) {
  using namespace bastion;
  // A BSTR carries its length and may be null for an empty string.
  std::u16string_view view;
  if (text != nullptr) {
    view = std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
  }
  switch (ClassifyButtonText(view)) {
    case ButtonAction::kExitAbort:
      ExitProcess(kAbortExitCode);
    case ButtonAction::kExitClose:
      ExitProcess(kCloseExitCode);
    case ButtonAction::kRetry:
      SetEvent(RetryEvent);
      break;
    case ButtonAction::kNone:
      break;
  }
}
