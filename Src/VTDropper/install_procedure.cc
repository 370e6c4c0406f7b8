#include "Src/VTDropper/install_procedure.h"

#include <windows.h>

#include <stdio.h>

#include "diagnostics/file_log.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"

namespace {

// {836579AB-A681-3146-B02F-8986F8BE98D8}
constexpr GUID kTraceGuid = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};

void InstallProcedure(bool verify, bool createPackage) {
  (void)verify;
  (void)createPackage;
}

}  // namespace

void InstallationWrapper(bool verify, bool createPackage) {
  try {
    SetUpFileLog();
  } catch (...) {
  }
  BASTION_LOG(spdlog::level::info, "InstallationWrapper", "Starting");
  trace::Message(kTraceGuid, 12, trace::kSteps);
  try {
    InstallProcedure(verify, createPackage);
  } catch (...) {
    fprintf(stderr, "%s", "Bastion Setup failed!\n");
  }
}
