// The installation: log set-up, then every stage in its fixed order.
#ifndef BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_
#define BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_

#include "Src/VTDropper/run_result.h"

namespace bastion {

// The process exit code for the run.
int InstallationWrapper(bool verify, bool createPackage);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALL_PROCEDURE_H_
