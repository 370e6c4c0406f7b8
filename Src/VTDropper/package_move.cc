#include "Src/VTDropper/package_move.h"

#include <windows.h>

PackageMoveOutcome MovePackage(const wchar_t* source, const wchar_t* target) {
  PackageMoveOutcome outcome;
  if (MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING)) return outcome;
  outcome.error = GetLastError();
  if (!NeedsCopyAllowedRetry(outcome.error)) return outcome;
  outcome.copyTried = true;
  outcome.error = MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
                      ? 0
                      : GetLastError();
  return outcome;
}
