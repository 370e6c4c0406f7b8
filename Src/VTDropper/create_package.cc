#include "Src/VTDropper/create_package.h"

#include <windows.h>

#include "Src/VTDropper/local_files.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "msi/msi_database.h"
#include "platform/scoped_handle.h"

namespace bastion {

namespace {

constexpr char kOpenFailed[] = "Failed to open BSX.msi for modifications\n";
constexpr char kViewFailed[] = "Failed to open BSX.msi for modifications(View)\n";

// An installer handle, closed through the installer library bound for that
// call; the close's result is of no use to anyone.
struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle None() { return 0; }
  static bool IsValid(Handle handle) { return handle != 0; }
  static void Close(Handle handle) { static_cast<void>(CloseMsiHandle(handle)); }
};
using ScopedMsiHandle = ScopedHandle<MsiHandleTraits>;

// Sends the step's trace with the system's last error; the edit's own
// result carries the installer's code to the run's report.
RunResult EditFailed(ProcedureTrace failure, const char* message, const Win32Result& edit) {
  // trace numbers: 23-29
  trace::Message(failure, trace::kSteps, GetLastError());
  return Fail(message, edit.error());
}

RunResult EmbedConfiguration(const std::wstring& package, const std::wstring& configFile) {
  // Declared so that the view closes before the database.
  ScopedMsiHandle database;
  ScopedMsiHandle view;
  Win32Result step = OpenMsiDatabase(package.c_str(), database.Receive());
  if (!step) return EditFailed(ProcedureTrace::kOpenPackageFailed, kOpenFailed, step);
  step = OpenMsiView(database.Get(), L"SELECT * FROM Binary", view.Receive());
  if (!step) return EditFailed(ProcedureTrace::kOpenBinaryViewFailed, kViewFailed, step);
  step = AddBinaryStream(view.Get(), L"VTINSTADDEXT_config.dat", configFile.c_str());
  if (!step)
    return EditFailed(ProcedureTrace::kAddConfigDatFailed,
                      "Failed to open BSX.msi for modifications(add local file)\n", step);
  step = CommitMsiDatabase(database.Get());
  if (!step)
    return EditFailed(ProcedureTrace::kCommitBinaryFailed,
                      "Failed to open BSX.msi for modifications(config commit)\n", step);
  view.Close();
  step = OpenMsiView(database.Get(), L"SELECT * FROM Property", view.Receive());
  if (!step) return EditFailed(ProcedureTrace::kOpenPropertyViewFailed, kViewFailed, step);
  step = SetPropertyValue(view.Get(), L"RECONF", L"1");
  if (!step)
    return EditFailed(ProcedureTrace::kSetReconfFailed,
                      "Failed to open BSX.msi for modifications(property)\n", step);
  step = CommitMsiDatabase(database.Get());
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
