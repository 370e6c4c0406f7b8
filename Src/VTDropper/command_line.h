// The one optional argument: which mode a run takes.
#ifndef BASTION_SRC_VTDROPPER_COMMAND_LINE_H_
#define BASTION_SRC_VTDROPPER_COMMAND_LINE_H_

namespace bastion {

enum class RunMode { kInstall, kVerify, kCreatePackage, kUsage };

// Only a single argument (argc == 2) is looked at; any other one, or any other
// count, is a normal installation.
RunMode ParseCommandLine(int argc, const wchar_t* const* argv);

// Case-insensitive over ASCII letters only: A-Z fold to a-z, nothing else.
bool EqualsAsciiNoCase(const wchar_t* a, const wchar_t* b);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_COMMAND_LINE_H_
