// Whether the agent is already on this machine.
#ifndef BASTION_SRC_VTDROPPER_INSTALLED_AGENT_H_
#define BASTION_SRC_VTDROPPER_INSTALLED_AGENT_H_

namespace bastion {

// The agent's places below the 32-bit program files folder, in test order.
inline constexpr const wchar_t* kAgentPaths[] = {
    L"Veltrion\\Bastion Security Agent\\Bastion Common\\bin\\bxag.exe",
    L"Veltrion\\Bastion Security\\Bastion Common\\bin\\bxag.exe",
};

// True when either path names a file; the second is tested only when the
// first does not.
bool IsAgentInstalled();

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_INSTALLED_AGENT_H_
