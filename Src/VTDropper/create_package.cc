#include "Src/VTDropper/create_package.h"

#include <windows.h>

#include "Src/VTDropper/package_move.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "msi/msi_database.h"

namespace {

// The installation procedure's messages, of which this mode is a part.
// {836579AB-A681-3146-B02F-8986F8BE98D8}
constexpr GUID kTraceGuid = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};

constexpr char kOpenFailed[] = "Failed to open BSX.msi for modifications\n";
constexpr char kViewFailed[] = "Failed to open BSX.msi for modifications(View)\n";

// The database and the current view, closed once each whatever happens.
class PackageEdit {
 public:
  PackageEdit() = default;
  ~PackageEdit() {
    CloseView();
    if (database_ != 0) CloseMsiHandle(database_);
  }
  PackageEdit(const PackageEdit&) = delete;
  PackageEdit& operator=(const PackageEdit&) = delete;

  MSIHANDLE* database() { return &database_; }
  MSIHANDLE* view() { return &view_; }
  void CloseView() {
    if (view_ != 0) CloseMsiHandle(view_);
    view_ = 0;
  }

 private:
  MSIHANDLE database_ = 0;
  MSIHANDLE view_ = 0;
};

// Sends the step's trace with the system's last error and writes its line.
bool Fail(USHORT traceNumber, const char* message, FILE* errors) {
  // trace numbers: 23-29
  trace::Message(kTraceGuid, traceNumber, trace::kSteps, GetLastError());
  fprintf(errors, "%s", message);
  return false;
}

bool EmbedConfiguration(const std::wstring& package, const std::wstring& configFile, FILE* errors) {
  PackageEdit edit;
  if (!OpenMsiDatabase(package.c_str(), edit.database())) return Fail(23, kOpenFailed, errors);
  if (!OpenMsiView(*edit.database(), L"SELECT * FROM Binary", edit.view()))
    return Fail(24, kViewFailed, errors);
  if (!AddBinaryStream(*edit.view(), L"VTINSTADDEXT_config.dat", configFile.c_str()))
    return Fail(25, "Failed to open BSX.msi for modifications(add local file)\n", errors);
  if (!CommitMsiDatabase(*edit.database()))
    return Fail(26, "Failed to open BSX.msi for modifications(config commit)\n", errors);
  edit.CloseView();
  if (!OpenMsiView(*edit.database(), L"SELECT * FROM Property", edit.view()))
    return Fail(27, kViewFailed, errors);
  if (!SetPropertyValue(*edit.view(), L"RECONF", L"1"))
    return Fail(28, "Failed to open BSX.msi for modifications(property)\n", errors);
  if (!CommitMsiDatabase(*edit.database()))
    return Fail(29, "Failed to open BSX.msi for modifications(reconf commit)\n", errors);
  return true;
}

}  // namespace

bool CreateConfiguredPackage(HeldPackage& package, const std::wstring& moduleDirectory, FILE* errors) {
  trace::Message(kTraceGuid, 22, trace::kSteps);
  // The hold denies the rename a move would need, so the package is copied
  // through it; only then is it released and the staged file deleted.
  PackageMoveOutcome moved = CopyPackageBeside(package.handle.Get(), moduleDirectory, L"BSX.msi");
  if (!moved.moved()) {
    fprintf(errors, "%s", PackageMoveFailureMessage(moved).c_str());
    return false;
  }
  package.Discard();

  BASTION_LOG(spdlog::level::info, "InstallProcedure", "Going to save config to msi");
  std::wstring configFile = moduleDirectory + L"config.dat";
  bool created = EmbedConfiguration(moduleDirectory + L"BSX.msi", configFile, errors);
  if (created) fprintf(errors, "%S%s", moduleDirectory.c_str(), "BSX.msi created\n");
  DeleteFileW(configFile.c_str());
  return created;
}
