#include "Src/VTDropper/install_procedure.h"

#include <windows.h>

#include <stdio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Src/VTDropper/config_blob.h"
#include "Src/VTDropper/config_document.h"
#include "Src/VTDropper/console_release.h"
#include "Src/VTDropper/module_image.h"
#include "Src/VTDropper/window_station.h"
#include "diagnostics/file_log.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "verification/authenticate_signed_blob.h"

namespace {

// {836579AB-A681-3146-B02F-8986F8BE98D8}
constexpr GUID kTraceGuid = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};

void Fail(const char* message) { fprintf(stderr, "%s", message); }

void InstallProcedure(bool verify, bool createPackage) {
  const bool interactive = IsInteractiveWindowStation();
  if (interactive) ReleaseConsoleIfOwnedAlone();

  ModuleImage image;
  const uint8_t* view = nullptr;
  uint32_t viewSize = 0;
  bool publisherFallback = false;
  if (!image.Open(view, viewSize, publisherFallback)) {
    trace::Message(kTraceGuid, 13, trace::kSteps);
    Fail("Failed to initialize Bastion Setup!\n");
    BASTION_LOG(spdlog::level::err, "InstallProcedure", "Failed to initialize Bastion Setup!");
    return;
  }

  // The installed-agent check (installation mode only: neither `verify` nor
  // `createPackage`) runs here, before the blob is read.
  (void)createPackage;

  const auto bounds = LocateBlob(view, viewSize);
  if (!bounds) {
    Fail("Failed to parse configuration data!\n");
    return;
  }
  trace::Message(kTraceGuid, 14, trace::kSteps);
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(bounds->length),
                          const_cast<BYTE*>(view + bounds->offset)};
  std::vector<BYTE> document;
  if (AuthenticateSignedBlob(blob, document, nullptr, publisherFallback) != 1) {
    Fail("Failed to authenticate BastionSetup!\n");
    return;
  }

  const ConfigDocument config(document);
  const std::string configDat = MakeConfigDat(config.GetElement("AG_CONFIG"));
  const std::string serverUrl = config.GetElement("URL");
  trace::Message(kTraceGuid, 15, trace::kSteps, serverUrl.c_str());
  BASTION_LOG(spdlog::level::info, "InstallProcedure", "Bastion Setup: Found an URL: {}", serverUrl);

  ServerAddress server;
  if (!SplitServerUrl(serverUrl, server)) {
    Fail("Failed to parse internal data!\n");
    return;
  }

  if (verify) {
    fprintf(stderr, "Config Dat:\n%s\n", configDat.c_str());
    fprintf(stderr, "URL:\n%s\n", serverUrl.c_str());
    return;
  }
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
