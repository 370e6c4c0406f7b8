// Create-package mode on real wixl-built packages. Each case works in its
// own folder under createmsi\ beside the test binary, standing in for the
// executable's folder, and leaves its BSX.msi and the expected config.dat
// bytes there for the msiinfo inspection that runs after this binary.
#include "Src/VTDropper/create_package.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "win/process_runner.h"
#include "win/trace_recorder.h"

namespace {

// {836579AB-A681-3146-B02F-8986F8BE98D8}
constexpr GUID kProcedureGuid = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};

const char kConfigDat[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><AG_CONFIG><server fqdn=\"m\xC3\xBCnchen.example\"/>"
    "<VPN_CONFIG>on</VPN_CONFIG></AG_CONFIG>";

void WriteAll(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Empties (or makes) a folder of plain files.
void ResetFolder(const std::wstring& folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring path = folder + found.cFileName;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

struct PackageRun {
  bool created = false;
  std::string errors;
  std::vector<USHORT> traces;
  std::vector<ULONG> traceValues;
};

class CreatePackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring base = TestDirectory() + L"createmsi\\";
    CreateDirectoryW(base.c_str(), nullptr);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    folder_ = base + std::wstring(name.begin(), name.end()) + L"\\";
    ResetFolder(folder_);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    temporary_ = std::wstring(temp) + L"bastion-createmsi-" + std::wstring(name.begin(), name.end()) + L".tmp";
    SetFileAttributesW(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temporary_.c_str());
  }

  // The downloaded package, as the download leaves it in the temporary folder.
  void Download(const wchar_t* fixture) {
    ASSERT_TRUE(CopyFileW((TestDirectory() + L"msi\\" + fixture).c_str(), temporary_.c_str(), FALSE));
  }

  // What the procedure has done by the time create-package mode begins.
  void SaveConfig() {
    WriteAll(folder_ + L"config.dat", kConfigDat);
    WriteAll(folder_ + L"expected-config.dat", kConfigDat);
  }

  PackageRun CreatePackage() {
    PackageRun run;
    TraceRecorder recorder;
    FILE* errors = tmpfile();
    run.created = CreateConfiguredPackage(temporary_, folder_, errors);
    fflush(errors);
    rewind(errors);
    char buffer[512];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), errors)) > 0) run.errors.append(buffer, got);
    fclose(errors);
    for (const TraceRecord& r : recorder.records()) {
      if (!IsEqualGUID(r.guid, kProcedureGuid)) continue;
      run.traces.push_back(r.number);
      run.traceValues.push_back(r.args.empty() ? 0 : r.Value(0));
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
  EXPECT_EQ(run.traces, std::vector<USHORT>{22});
  EXPECT_FALSE(Exists(temporary_));
  EXPECT_FALSE(Exists(folder_ + L"config.dat"));
  EXPECT_TRUE(PackageIsClosed());
}

TEST_F(CreatePackageTest, PackageWithoutReconfIsStillCreated) {
  Download(L"plain.msi");
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  EXPECT_FALSE(Exists(folder_ + L"config.dat"));
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
  EXPECT_EQ(run.traces, (std::vector<USHORT>{22, 25}));
  EXPECT_FALSE(Exists(folder_ + L"config.dat"));
  EXPECT_TRUE(PackageIsClosed());
}

TEST_F(CreatePackageTest, MissingConfigDatStopsAtTheInsert) {
  Download(L"reconf.msi");
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications(add local file)\n");
  EXPECT_EQ(run.traces, (std::vector<USHORT>{22, 25}));
  EXPECT_TRUE(PackageIsClosed());
}

TEST_F(CreatePackageTest, ReadOnlyPackageIsNotOpened) {
  Download(L"reconf.msi");
  ASSERT_TRUE(SetFileAttributesW(temporary_.c_str(), FILE_ATTRIBUTE_READONLY));
  HANDLE probe = CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    // Wine keeps the attribute as missing write bits, which root ignores;
    // PackageInUseIsNotOpened covers an unwritable package there.
    GTEST_SKIP() << "a read-only file is writable here (Wine run as root)";
  }
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications\n");
  EXPECT_EQ(run.traces, (std::vector<USHORT>{22, 23}));
  EXPECT_FALSE(Exists(folder_ + L"config.dat"));
}

TEST_F(CreatePackageTest, PackageInUseIsNotOpened) {
  Download(L"reconf.msi");
  // Another program reads the package and lets it be moved, but not written.
  HANDLE reader = CreateFileW(temporary_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  SaveConfig();
  PackageRun run = CreatePackage();
  CloseHandle(reader);
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications\n");
  EXPECT_EQ(run.traces, (std::vector<USHORT>{22, 23}));
  EXPECT_FALSE(Exists(folder_ + L"config.dat"));
}

TEST_F(CreatePackageTest, FileThatIsNoPackageIsNotOpened) {
  WriteAll(temporary_, "MZ this is not an installer database");
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to open BSX.msi for modifications\n");
  EXPECT_EQ(run.traces, (std::vector<USHORT>{22, 23}));
  EXPECT_FALSE(Exists(folder_ + L"config.dat"));
}

TEST_F(CreatePackageTest, FailedMoveNamesTheErrorAndStopsBeforeTheEdits) {
  SaveConfig();  // no package in the temporary folder
  PackageRun run = CreatePackage();
  EXPECT_FALSE(run.created);
  EXPECT_EQ(run.errors, "Failed to copy BSX.msi from temp folder with error:  2 \n");
  EXPECT_EQ(run.traces, std::vector<USHORT>{22});
  // The edits were never tried, so nothing cleans up config.dat.
  EXPECT_TRUE(Exists(folder_ + L"config.dat"));
}

TEST_F(CreatePackageTest, PackageMovedToAnotherVolumeIsCopiedAndConfigured) {
  // Z:\dev\shm is a tmpfs; the temporary folder is on the disk.
  folder_ = L"Z:\\dev\\shm\\bastion-createmsi\\";
  ResetFolder(folder_);
  Download(L"reconf.msi");
  SaveConfig();
  PackageRun run = CreatePackage();
  EXPECT_TRUE(run.created);
  EXPECT_EQ(run.errors, Folder() + "BSX.msi created\n");
  EXPECT_FALSE(Exists(temporary_));
  EXPECT_FALSE(Exists(folder_ + L"config.dat"));
  ResetFolder(folder_);
  RemoveDirectoryW(folder_.c_str());
}

}  // namespace
