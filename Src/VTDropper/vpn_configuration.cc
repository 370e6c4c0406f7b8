#include "Src/VTDropper/vpn_configuration.h"

#include "Src/VTDropper/machine_string_value.h"

bool StoreVpnConfiguration(const std::string& text) {
  if (text.empty()) return false;
  SetMachineStringValue(kVpnKeyPath, kVpnValueName, text.c_str());
  return true;
}
