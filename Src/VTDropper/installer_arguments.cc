#include "Src/VTDropper/installer_arguments.h"

namespace bastion {

std::wstring InstallerArguments(const std::wstring& packagePath) {
  return L"/i \"" + packagePath + L"\" /qn";
}

std::wstring InstallerLogPath(const std::wstring& packagePath) { return packagePath + L".log"; }

std::wstring InstallerLogArguments(const std::wstring& logPath) { return L" /l*v \"" + logPath + L"\""; }

}  // namespace bastion
