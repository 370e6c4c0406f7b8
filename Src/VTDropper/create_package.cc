#include "Src/VTDropper/create_package.h"

#include <windows.h>

#include "Src/VTDropper/package_move.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "msi/msi_database.h"

namespace bastion {

namespace {

constexpr char kOpenFailed[] = "Failed to open BSX.msi for modifications\n";
constexpr char kViewFailed[] = "Failed to open BSX.msi for modifications(View)\n";

// The database and the current view, closed once each whatever happens.
class PackageEdit {
 public:
  PackageEdit() = default;
  ~PackageEdit() {
    CloseView();
    if (database_ != 0) static_cast<void>(CloseMsiHandle(database_));
  }
  PackageEdit(const PackageEdit&) = delete;
  PackageEdit& operator=(const PackageEdit&) = delete;

  MSIHANDLE* database() { return &database_; }
  MSIHANDLE* view() { return &view_; }
  void CloseView() {
    // The close's result is of no use to anyone.
    if (view_ != 0) static_cast<void>(CloseMsiHandle(view_));
    view_ = 0;
  }

 private:
  MSIHANDLE database_ = 0;
  MSIHANDLE view_ = 0;
};

// Sends the step's trace with the system's last error; the edit's own
// result carries the installer's code to the run's report.
RunResult EditFailed(ProcedureTrace failure, const char* message, const Win32Result& edit) {
  // trace numbers: 23-29
  trace::Message(failure, trace::kSteps, GetLastError());
  return Fail(message, edit.error());
}

RunResult EmbedConfiguration(const std::wstring& package, const std::wstring& configFile) {
  PackageEdit edit;
  Win32Result step = OpenMsiDatabase(package.c_str(), edit.database());
  if (!step) return EditFailed(ProcedureTrace::kOpenPackageFailed, kOpenFailed, step);
  step = OpenMsiView(*edit.database(), L"SELECT * FROM Binary", edit.view());
  if (!step) return EditFailed(ProcedureTrace::kOpenBinaryViewFailed, kViewFailed, step);
  step = AddBinaryStream(*edit.view(), L"VTINSTADDEXT_config.dat", configFile.c_str());
  if (!step)
    return EditFailed(ProcedureTrace::kAddConfigDatFailed,
                      "Failed to open BSX.msi for modifications(add local file)\n", step);
  step = CommitMsiDatabase(*edit.database());
  if (!step)
    return EditFailed(ProcedureTrace::kCommitBinaryFailed,
                      "Failed to open BSX.msi for modifications(config commit)\n", step);
  edit.CloseView();
  step = OpenMsiView(*edit.database(), L"SELECT * FROM Property", edit.view());
  if (!step) return EditFailed(ProcedureTrace::kOpenPropertyViewFailed, kViewFailed, step);
  step = SetPropertyValue(*edit.view(), L"RECONF", L"1");
  if (!step)
    return EditFailed(ProcedureTrace::kSetReconfFailed,
                      "Failed to open BSX.msi for modifications(property)\n", step);
  step = CommitMsiDatabase(*edit.database());
  if (!step)
    return EditFailed(ProcedureTrace::kCommitReconfFailed,
                      "Failed to open BSX.msi for modifications(reconf commit)\n", step);
  return Finished(kExitSuccess);
}

}  // namespace

RunResult CreateConfiguredPackage(HeldPackage& package, const std::wstring& moduleDirectory, FILE* output) {
  trace::Message(ProcedureTrace::kCreatePackageBegins, trace::kSteps);
  // The hold denies the rename a move would need, so the package is copied
  // through it; only then is it released and the staged file deleted.
  PackageMoveOutcome moved = CopyPackageBeside(package.handle.Get(), moduleDirectory, L"BSX.msi");
  if (!moved.moved()) return Fail(PackageMoveFailureMessage(moved), moved.error);
  package.Discard();

  BASTION_LOG(spdlog::level::info, "InstallProcedure", "Going to save config to msi");
  std::wstring configFile = moduleDirectory + L"config.dat";
  RunResult result = EmbedConfiguration(moduleDirectory + L"BSX.msi", configFile);
  if (result.exitCode == kExitSuccess) fprintf(output, "%S%s", moduleDirectory.c_str(), "BSX.msi created\n");
  DeleteFileW(configFile.c_str());
  return result;
}

}  // namespace bastion
