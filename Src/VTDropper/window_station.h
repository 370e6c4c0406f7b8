// Whether the process runs on a window station a user can see.
#ifndef BASTION_SRC_VTDROPPER_WINDOW_STATION_H_
#define BASTION_SRC_VTDROPPER_WINDOW_STATION_H_

// True when the process's window station has WSF_VISIBLE; false when it
// cannot be asked.
bool IsInteractiveWindowStation();

#endif  // BASTION_SRC_VTDROPPER_WINDOW_STATION_H_
