#include "Src/VTDropper/installer_arguments.h"

std::wstring InstallerArguments(const std::wstring& packagePath) {
  return L"/i \"" + packagePath + L"\" /qn";
}
