#include "Src/VTDropper/create_package.h"

#include <windows.h>

#include <utility>

#include "Src/VTDropper/local_files.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "msi/msi_database.h"
#include "platform/scoped_handle.h"

namespace bastion {

namespace {

constexpr char kSaveFailed[] = "Failed to save config.dat\n";
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

// A file this run made under a fresh name in its staging folder: private
// to administrators in an elevated run, the user's own otherwise. It goes
// with the object.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  // Names the file once it exists, and only then.
  void Made(std::wstring path) { path_ = std::move(path); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// `folder` + a fresh UUID + `extension`; empty when no UUID could be made.
std::wstring FreshName(const std::wstring& folder, const wchar_t* extension) {
  const std::wstring uuid = NewUuidName();
  return uuid.empty() ? std::wstring() : folder + uuid + extension;
}

RunResult SaveConfigDat(const std::wstring& folder, const std::string& configDat, SECURITY_ATTRIBUTES* security,
                        StagedFile& file) {
  const std::wstring path = FreshName(folder, L".dat");
  if (path.empty()) return Fail(kSaveFailed, ERROR_GEN_FAILURE);
  WriteResult written = WriteBytesToFile(path.c_str(), reinterpret_cast<const unsigned char*>(configDat.data()),
                                         configDat.size(), CREATE_NEW, security);
  if (written.file.IsValid()) file.Made(path);
  if (!written.outcome) return Fail(kSaveFailed, written.outcome.error());
  trace::Message(ProcedureTrace::kConfigDatSaved, trace::kSteps);
  BASTION_LOG(spdlog::level::info, "InstallProcedure", "config.dat saved");
  return Finished(kExitSuccess);
}

// The private copy of the held package that the edits work on.
RunResult CopyPackagePrivately(HANDLE package, const std::wstring& folder, SECURITY_ATTRIBUTES* security,
                               StagedFile& file) {
  const std::wstring path = FreshName(folder, L".msi");
  ScopedKernelHandle copy;
  const Win32Result copied =
      path.empty() ? Win32Result::Failure(ERROR_GEN_FAILURE) : CopyToNewFile(package, path, copy, security);
  if (!copied) {
    PackageMoveOutcome outcome;
    outcome.error = copied.error();
    outcome.copyFailed = true;
    return Fail(PackageMoveFailureMessage(outcome), outcome.error);
  }
  file.Made(path);
  return Finished(kExitSuccess);
}

}  // namespace

RunResult CreateConfiguredPackage(HeldPackage& package, const std::wstring& moduleDirectory,
                                  const std::string& configDat, SECURITY_ATTRIBUTES* privateFiles,
                                  FILE* output) {
  // The staging folder is the one the package was downloaded into. Nothing
  // of the run but the finished package goes beside the executable, whose
  // folder the user who downloaded the stub can often write.
  const std::wstring staging = package.path.substr(0, package.path.rfind(L'\\') + 1);
  StagedFile configFile;
  RunResult result = SaveConfigDat(staging, configDat, privateFiles, configFile);
  if (result.exitCode != kExitSuccess) return result;

  trace::Message(ProcedureTrace::kCreatePackageBegins, trace::kSteps);
  StagedFile privateCopy;
  result = CopyPackagePrivately(package.handle.Get(), staging, privateFiles, privateCopy);
  // The download is of no more use, copied or not.
  package.Discard();
  if (result.exitCode != kExitSuccess) return result;

  BASTION_LOG(spdlog::level::info, "InstallProcedure", "Going to save config to msi");
  result = EmbedConfiguration(privateCopy.path(), configFile.path());
  if (result.exitCode != kExitSuccess) return result;

  // The edited copy lies in the staging folder, out of other users' reach.
  ScopedKernelHandle edited(CreateFileW(privateCopy.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  PackageMoveOutcome moved;
  if (!edited.IsValid()) {
    moved.error = GetLastError();
    moved.copyFailed = true;
  } else {
    moved = CopyPackageBeside(edited.Get(), moduleDirectory, L"BSX.msi");
  }
  if (!moved.moved()) return Fail(PackageMoveFailureMessage(moved), moved.error);
  fprintf(output, "%S%s", moduleDirectory.c_str(), "BSX.msi created\n");
  return result;
}

}  // namespace bastion
