#include "Src/VTDropper/installed_agent.h"

#include "Src/VTDropper/program_files.h"

namespace bastion {

bool IsAgentInstalled() {
  for (const wchar_t* path : kAgentPaths)
    if (FileExistsInProgramFiles(kProgramFilesX86, path)) return true;
  return false;
}

}  // namespace bastion
