// Whether a user can see the process's window station and its session.
#ifndef BASTION_SRC_VTDROPPER_WINDOW_STATION_H_
#define BASTION_SRC_VTDROPPER_WINDOW_STATION_H_

namespace bastion {

// True when the process's window station has WSF_VISIBLE; false when it
// cannot be asked.
bool IsInteractiveWindowStation();

// True unless the process runs in session 0, which services use and no user
// logs on to; false when the session cannot be asked.
bool IsInUserSession();

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_WINDOW_STATION_H_
