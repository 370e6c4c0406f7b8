// Create-package mode on real wixl-built packages. Each case works in its
// own folder under createmsi\ beside the test binary, standing in for the
// executable's folder, and leaves its BSX.msi and the expected config.dat
// bytes there for the msiinfo inspection that runs after this binary.
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
    temporary_ = TestFolder(L"bastion-createmsi-") + L"download.tmp";
  }

  // The downloaded package, as the download leaves it in the temporary folder.
  void Download(const wchar_t* fixture) {
    ASSERT_TRUE(CopyFileW((TestDirectory() + L"msi\\" + fixture).c_str(), temporary_.c_str(), FALSE));
  }

  // What the procedure has done by the time create-package mode begins.
  void SaveConfig() {
    ASSERT_TRUE(WriteFileBytes(folder_ + L"config.dat", kConfigDat));
    ASSERT_TRUE(WriteFileBytes(folder_ + L"expected-config.dat", kConfigDat));
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
    RunResult result = CreateConfiguredPackage(package, folder_, output);
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
      // Every failed edit carries the system's last error, trace 22 nothing.
      EXPECT_EQ(r.args.size(), r.number == 22 ? 0u : 1u) << r.number;
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
  std::wstring temporary_;
};

TEST_F(CreatePackageTest, SignedPackageWithReconfIsConfigured) {
  Download(L"reconf_signed.msi");
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  EXPECT_EQ(run.traces, std::vector{ProcedureTrace::kCreatePackageBegins});
  EXPECT_FALSE(PathExists(temporary_));
  EXPECT_FALSE(PathExists(folder_ + L"config.dat"));
  EXPECT_TRUE(PackageIsClosed());
}

TEST_F(CreatePackageTest, PackageWithoutReconfIsStillCreated) {
  Download(L"plain.msi");
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  EXPECT_FALSE(PathExists(folder_ + L"config.dat"));
}

TEST_F(CreatePackageTest, PackageAlreadyCarryingTheConfigurationStopsAtTheInsert) {
  Download(L"reconf.msi");
  SaveConfig();
  ASSERT_TRUE(CreatePackage().created);
  // The configured package comes back as the download.
  ASSERT_TRUE(MoveFileExW(package().c_str(), temporary_.c_str(), MOVEFILE_REPLACE_EXISTING));
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications(add local file)\n");
  EXPECT_EQ(run.windowsError, static_cast<unsigned long>(ERROR_FUNCTION_FAILED));
  EXPECT_EQ(run.traces,
            (std::vector{ProcedureTrace::kCreatePackageBegins, ProcedureTrace::kAddConfigDatFailed}));
  EXPECT_FALSE(PathExists(folder_ + L"config.dat"));
  EXPECT_TRUE(PackageIsClosed());
}

TEST_F(CreatePackageTest, MissingConfigDatStopsAtTheInsert) {
  Download(L"reconf.msi");
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications(add local file)\n");
  EXPECT_EQ(run.traces,
            (std::vector{ProcedureTrace::kCreatePackageBegins, ProcedureTrace::kAddConfigDatFailed}));
  EXPECT_TRUE(PackageIsClosed());
}

TEST_F(CreatePackageTest, BSXInUseByAnotherProgramFailsTheMoveWithItsError) {
  Download(L"reconf.msi");
  SaveConfig();
  ASSERT_TRUE(WriteFileBytes(package(), "an earlier BSX.msi"));
  // Another program reads the old BSX.msi and does not let it be replaced.
  HANDLE reader = CreateFileW(package().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  PackageRun run = CreatePackage();
  CloseHandle(reader);
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to copy BSX.msi from temp folder with error:  5 \n");
  EXPECT_EQ(run.traces, std::vector{ProcedureTrace::kCreatePackageBegins});
  EXPECT_EQ(ReadFileBytes(package()), "an earlier BSX.msi");
  // The edits were never tried, so nothing cleans up config.dat.
  EXPECT_TRUE(PathExists(folder_ + L"config.dat"));
}

TEST_F(CreatePackageTest, FileThatIsNoPackageIsNotOpened) {
  ASSERT_TRUE(WriteFileBytes(temporary_, "MZ this is not an installer database"));
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications\n");
  EXPECT_EQ(run.traces,
            (std::vector{ProcedureTrace::kCreatePackageBegins, ProcedureTrace::kOpenPackageFailed}));
  EXPECT_FALSE(PathExists(folder_ + L"config.dat"));
}

TEST_F(CreatePackageTest, FailedCopyStopsBeforeTheEdits) {
  Download(L"reconf.msi");
  SaveConfig();
  const std::wstring exeFolder = folder_;
  folder_ += L"missing\\";  // nowhere to put the copy
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to copy BSX.msi from temp folder\n");
  EXPECT_EQ(run.windowsError, static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(run.traces, std::vector{ProcedureTrace::kCreatePackageBegins});
  EXPECT_TRUE(PathExists(temporary_)) << "a package that did not get beside the executable is kept";
  EXPECT_TRUE(PathExists(exeFolder + L"config.dat"));
}

TEST_F(CreatePackageTest, PackageOnAnotherVolumeIsCopiedAndConfigured) {
  // Z:\dev\shm is a tmpfs; the temporary folder is on the disk.
  folder_ = L"Z:\\dev\\shm\\bastion-createmsi\\";
  RemoveTree(folder_);
  CreateDirectoryW(folder_.c_str(), nullptr);
  Download(L"reconf.msi");
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  EXPECT_FALSE(PathExists(temporary_));
  EXPECT_FALSE(PathExists(folder_ + L"config.dat"));
  RemoveTree(folder_);
}

}  // namespace
