// Letting go of a console window that exists only because of us.
#ifndef BASTION_SRC_VTDROPPER_CONSOLE_RELEASE_H_
#define BASTION_SRC_VTDROPPER_CONSOLE_RELEASE_H_

namespace bastion {

// Detaches from the console when this process is its only process: a
// console made just for us, as when started from Explorer. A console shared
// with the shell that started us stays, so its user sees our messages.
// True when the console was released.
bool ReleaseConsoleIfOwnedAlone();

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_CONSOLE_RELEASE_H_
