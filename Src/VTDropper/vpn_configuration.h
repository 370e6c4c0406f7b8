// The configuration's VPN settings, kept in the registry for the agent.
#ifndef BASTION_SRC_VTDROPPER_VPN_CONFIGURATION_H_
#define BASTION_SRC_VTDROPPER_VPN_CONFIGURATION_H_

#include <string>

namespace bastion {

inline constexpr char kVpnKeyPath[] = "SOFTWARE\\Veltrion\\Bastion Security";
inline constexpr char kVpnValueName[] = "VPNConfig";

// Writes a non-empty "VPN_CONFIG" text as "VPNConfig"; an empty one leaves
// the registry, and any earlier value, alone. True when a write was made,
// whatever its result, which nobody acts on.
bool StoreVpnConfiguration(const std::string& text);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_VPN_CONFIGURATION_H_
