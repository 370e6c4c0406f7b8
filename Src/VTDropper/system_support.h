#ifndef BASTION_SRC_VTDROPPER_SYSTEM_SUPPORT_H_
#define BASTION_SRC_VTDROPPER_SYSTEM_SUPPORT_H_

namespace bastion {

// True when library loading can be restricted to the system folder, and it
// now is. On a system without KB2533623 a message box says so.
bool CheckSystemSupport();

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_SYSTEM_SUPPORT_H_
