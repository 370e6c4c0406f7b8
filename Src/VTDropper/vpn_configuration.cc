#include "Src/VTDropper/vpn_configuration.h"

#include "Src/VTDropper/machine_string_value.h"

namespace bastion {

bool StoreVpnConfiguration(const std::string& text) {
  if (text.empty()) return false;
  SetMachineStringValue(kVpnKeyPath, kVpnValueName, text.c_str());
  return true;
}

}  // namespace bastion
