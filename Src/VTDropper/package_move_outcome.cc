#include "Src/VTDropper/package_move_outcome.h"

#include <stdio.h>

namespace bastion {

std::string PackageMoveFailureMessage(const PackageMoveOutcome& outcome) {
  if (outcome.moved()) return {};
  if (outcome.copyFailed) return "Failed to copy BSX.msi from temp folder\n";
  // The message ends in a blank and the format adds one: two blanks before
  // the code is the line's established form.
  char line[128];
  snprintf(line, sizeof(line), "%s %d %s", "Failed to copy BSX.msi from temp folder with error: ",
           static_cast<int>(outcome.error), "\n");
  return line;
}

}  // namespace bastion
