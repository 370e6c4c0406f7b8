// Create-package mode on real wixl-built packages. Each case works in its
// own folder under createmsi\ beside the test binary, standing in for the
// executable's folder, and leaves its BSX.msi and the expected config.dat
// bytes there for the msiinfo inspection that runs after this binary. The
// download's folder stands in for the staging folder; a "config.dat"
// planted beside the executable is never read, written or deleted.
#include "Src/VTDropper/create_package.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "win/file_helpers.h"
#include "win/process_runner.h"
#include "win/trace_recorder.h"

using namespace bastion;

namespace {

constexpr const GUID& kProcedureGuid = trace::MessageGuid<ProcedureTrace>::value;

const char kConfigDat[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><AG_CONFIG><server fqdn=\"m\xC3\xBCnchen.example\"/>"
    "<VPN_CONFIG>on</VPN_CONFIG></AG_CONFIG>";
const char kPlanted[] = "a stranger's config.dat";
const std::vector<ProcedureTrace> kBegun = {ProcedureTrace::kConfigDatSaved, ProcedureTrace::kCreatePackageBegins};

struct PackageRun {
  bool created = false;
  // The created line, or the failure's line as the run's report writes it.
  std::string errors;
  unsigned long windowsError = 0;
  std::vector<ProcedureTrace> traces;
};

class CreatePackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring base = TestDirectory() + L"createmsi\\";
    CreateDirectoryW(base.c_str(), nullptr);
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = base + std::wstring(name.begin(), name.end()) + L"\\";
    RemoveTree(folder_);
    CreateDirectoryW(folder_.c_str(), nullptr);
    staging_ = TestFolder(L"bastion-createmsi-");
    temporary_ = staging_ + L"download.tmp";
  }

  // The downloaded package, as the download leaves it in the temporary folder.
  void Download(const wchar_t* fixture) {
    ASSERT_TRUE(CopyFileW((TestDirectory() + L"msi\\" + fixture).c_str(), temporary_.c_str(), FALSE));
  }

  // A stranger's config.dat beside the executable, and the bytes the
  // package must carry for the inspection.
  void PlantConfig() {
    ASSERT_TRUE(WriteFileBytes(folder_ + L"config.dat", kPlanted));
    ASSERT_TRUE(WriteFileBytes(folder_ + L"expected-config.dat", kConfigDat));
  }

  // The staging folder holds nothing of the run, and the planted file is as it was.
  void ExpectNothingLeftAndNothingTouched() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((staging_ + L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do {
      if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_TRUE(names.empty()) << names.size();
    EXPECT_EQ(ReadFileBytes(folder_ + L"config.dat"), kPlanted);
  }

  PackageRun CreatePackage() {
    PackageRun run;
    TraceRecorder recorder;
    FILE* output = tmpfile();
    // Held as after the download: read-only, shared for reading only.
    HeldPackage package;
    package.path = temporary_;
    package.handle = ScopedKernelHandle(
        CreateFileW(temporary_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    RunResult result = CreateConfiguredPackage(package, folder_, kConfigDat, nullptr, output);
    fflush(output);
    rewind(output);
    char buffer[512];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), output)) > 0) run.errors.append(buffer, got);
    fclose(output);
    run.created = result.exitCode == kExitSuccess;
    run.errors += result.message;
    run.windowsError = result.windowsError;
    for (const TraceRecord& r : recorder.records()) {
      if (!IsEqualGUID(r.guid, kProcedureGuid)) continue;
      run.traces.push_back(ProcedureTrace{r.number});
      EXPECT_EQ(r.flag, trace::kSteps);
      // Every failed edit carries the system's last error, traces 21 and 22 nothing.
      EXPECT_EQ(r.args.size(), r.number == 21 || r.number == 22 ? 0u : 1u) << r.number;
    }
    return run;
  }

  std::string Folder() const { return std::string(folder_.begin(), folder_.end()); }
  std::wstring package() const { return folder_ + L"BSX.msi"; }

  // No installer handle on the package is left open: an exclusive open works.
  bool PackageIsClosed() const {
    HANDLE file = CreateFileW(package().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }

  std::wstring folder_;
  std::wstring staging_;
  std::wstring temporary_;
};

TEST_F(CreatePackageTest, SignedPackageWithReconfIsConfigured) {
  Download(L"reconf_signed.msi");
  PlantConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  EXPECT_EQ(run.traces, kBegun);
  ExpectNothingLeftAndNothingTouched();
  EXPECT_TRUE(PackageIsClosed());
}

TEST_F(CreatePackageTest, PackageWithoutReconfIsStillCreated) {
  Download(L"plain.msi");
  PlantConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  ExpectNothingLeftAndNothingTouched();
}

// The edits fail on the private copy: nothing reaches the executable's folder.
TEST_F(CreatePackageTest, PackageAlreadyCarryingTheConfigurationStopsAtTheInsert) {
  Download(L"reconf.msi");
  PlantConfig();
  ASSERT_TRUE(CreatePackage().created);
  // The configured package comes back as the download.
  ASSERT_TRUE(MoveFileExW(package().c_str(), temporary_.c_str(), MOVEFILE_REPLACE_EXISTING));
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications(add local file)\n");
  EXPECT_EQ(run.windowsError, static_cast<unsigned long>(ERROR_FUNCTION_FAILED));
  EXPECT_EQ(run.traces, (std::vector{ProcedureTrace::kConfigDatSaved, ProcedureTrace::kCreatePackageBegins,
                                     ProcedureTrace::kAddConfigDatFailed}));
  EXPECT_FALSE(PathExists(package()));
  ExpectNothingLeftAndNothingTouched();
}

TEST_F(CreatePackageTest, BSXInUseByAnotherProgramFailsTheRenameWithItsError) {
  Download(L"reconf.msi");
  PlantConfig();
  ASSERT_TRUE(WriteFileBytes(package(), "an earlier BSX.msi"));
  // Another program reads the old BSX.msi and does not let it be replaced.
  HANDLE reader = CreateFileW(package().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  PackageRun run = CreatePackage();
  CloseHandle(reader);
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to copy BSX.msi from temp folder with error:  5 \n");
  EXPECT_EQ(run.traces, kBegun);
  EXPECT_EQ(ReadFileBytes(package()), "an earlier BSX.msi");
  ExpectNothingLeftAndNothingTouched();
}

TEST_F(CreatePackageTest, FileThatIsNoPackageIsNotOpened) {
  ASSERT_TRUE(WriteFileBytes(temporary_, "MZ this is not an installer database"));
  PlantConfig();
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications\n");
  EXPECT_EQ(run.traces, (std::vector{ProcedureTrace::kConfigDatSaved, ProcedureTrace::kCreatePackageBegins,
                                     ProcedureTrace::kOpenPackageFailed}));
  ExpectNothingLeftAndNothingTouched();
}

TEST_F(CreatePackageTest, NoFolderBesideTheExecutableFailsTheCopy) {
  Download(L"reconf.msi");
  PlantConfig();
  const std::wstring exeFolder = folder_;
  folder_ += L"missing\\";  // nowhere to put the copy
  PackageRun run = CreatePackage();
  folder_ = exeFolder;
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to copy BSX.msi from temp folder\n");
  EXPECT_EQ(run.windowsError, static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(run.traces, kBegun);
  ExpectNothingLeftAndNothingTouched();
}

// A staging folder where the private copy cannot be made: the download is
// released and deleted all the same.
TEST_F(CreatePackageTest, AFailedPrivateCopyStopsBeforeTheEdits) {
  Download(L"reconf.msi");
  PlantConfig();
  PackageRun run;
  {
    // The download's hold cannot be read from: opened for attributes only.
    HeldPackage package;
    package.path = temporary_;
    package.handle = ScopedKernelHandle(CreateFileW(temporary_.c_str(), FILE_READ_ATTRIBUTES | DELETE,
                                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                                    0, nullptr));
    FILE* output = tmpfile();
    RunResult result = CreateConfiguredPackage(package, folder_, kConfigDat, nullptr, output);
    fclose(output);
    run.errors = result.message;
    run.windowsError = result.windowsError;
  }
  EXPECT_EQ(run.errors, "Failed to copy BSX.msi from temp folder\n");
  EXPECT_EQ(run.windowsError, static_cast<unsigned long>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(PathExists(package()));
  ExpectNothingLeftAndNothingTouched();
}

TEST_F(CreatePackageTest, PackageOnAnotherVolumeIsCopiedAndConfigured) {
  // Z:\dev\shm is a tmpfs; the temporary folder is on the disk.
  folder_ = L"Z:\\dev\\shm\\bastion-createmsi\\";
  RemoveTree(folder_);
  CreateDirectoryW(folder_.c_str(), nullptr);
  Download(L"reconf.msi");
  PlantConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  ExpectNothingLeftAndNothingTouched();
  RemoveTree(folder_);
}

}  // namespace
