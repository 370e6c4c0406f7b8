#include "Src/VTDropper/installer_arguments.h"

namespace bastion {

std::wstring InstallerArguments(const std::wstring& packagePath) {
  return L"/i \"" + packagePath + L"\" /qn";
}

}  // namespace bastion
