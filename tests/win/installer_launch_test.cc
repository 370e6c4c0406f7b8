// The installer mutex test, and LaunchInstaller with Wine's msiexec on
// wixl-built packages.
#include "Src/VTDropper/installer_launch.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Src/VTDropper/installer_arguments.h"
#include "ui/web_instance.h"
#include "win/process_runner.h"
#include "win/trace_recorder.h"

using namespace bastion;

namespace {

constexpr const GUID& kLaunchGuid = trace::MessageGuid<LaunchTrace>::value;

std::wstring ProgramFiles64() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, path);
  return path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The default logger's lines, as "[level] text", while the object lives.
class Lines {
 public:
  Lines() : previous_(spdlog::default_logger()) {
    auto logger = std::make_shared<spdlog::logger>("root", std::make_shared<spdlog::sinks::ostream_sink_mt>(out_));
    logger->set_pattern("[%l] %v");
    spdlog::set_default_logger(logger);
  }
  ~Lines() { spdlog::set_default_logger(previous_); }
  std::vector<std::string> Take() {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find_last_not_of('\r') + 1));
    out_.str("");
    return lines;
  }

 private:
  std::ostringstream out_;
  std::shared_ptr<spdlog::logger> previous_;
};

class InstallerLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A temporary folder like that of a user called "Jane Doe".
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"Jane Doe launch\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
  }

  std::wstring Stage(const wchar_t* fixture) {
    std::wstring path = folder_ + fixture;
    EXPECT_TRUE(CopyFileW((TestDirectory() + L"msi\\" + fixture).c_str(), path.c_str(), FALSE));
    return path;
  }

  // The launch's messages as (number, value) pairs.
  std::vector<std::pair<USHORT, ULONG>> Traces(const TraceRecorder& recorder) {
    std::vector<std::pair<USHORT, ULONG>> traces;
    for (const TraceRecord& r : recorder.records()) {
      if (!IsEqualGUID(r.guid, kLaunchGuid)) continue;
      EXPECT_EQ(r.flag, trace::kComponents);
      traces.emplace_back(r.number, r.Value(0));
    }
    return traces;
  }

  std::wstring folder_;
};

TEST_F(InstallerLaunchTest, InstallsAPackageFromAFolderWithABlank) {
  std::wstring package = Stage(L"install.msi");
  std::wstring payload = ProgramFiles64() + L"\\BastionFilesTest install\\payload.txt";
  const std::wstring installerLog = InstallerLogPath(package);
  LaunchRecord record = {};
  {
    TraceRecorder recorder;
    Lines lines;
    ASSERT_TRUE(LaunchInstaller(&record, L"msiexec.exe", InstallerArguments(package).c_str(), installerLog.c_str()));
    EXPECT_EQ(Traces(recorder), (std::vector<std::pair<USHORT, ULONG>>{{14, 0}}));
    const std::string path8(installerLog.begin(), installerLog.end());  // ASCII temp folder
    EXPECT_EQ(lines.Take(), std::vector<std::string>{"[info] Installer log: " + path8});
    // msiexec's own verbose log, where the line said.
    std::ifstream written(path8, std::ios::binary);
    std::string head(200, '\0');
    written.read(head.data(), head.size());
    EXPECT_NE(head.find("=== Logging started"), std::string::npos) << head;
  }
  DeleteFileW(installerLog.c_str());
  EXPECT_TRUE(Exists(payload));
  EXPECT_EQ(record.startup.cb, sizeof(STARTUPINFOW));
  EXPECT_NE(record.process.dwProcessId, 0u);
  EXPECT_EQ(record.process.hProcess, nullptr);  // closed and given up

  std::wstring removal = L"/x \"" + package + L"\" /qn";
  ASSERT_TRUE(LaunchInstaller(&record, L"msiexec.exe", removal.c_str()));
  EXPECT_FALSE(Exists(payload));
  DeleteFileW(package.c_str());
}

TEST_F(InstallerLaunchTest, FailedInstallationStillCountsAsLaunched) {
  std::wstring package = Stage(L"never.msi");
  LaunchRecord record = {};
  TraceRecorder recorder;
  EXPECT_TRUE(LaunchInstaller(&record, L"msiexec.exe", InstallerArguments(package).c_str()));
  EXPECT_EQ(Traces(recorder), (std::vector<std::pair<USHORT, ULONG>>{{14, 1603}}));
  EXPECT_EQ(record.exitCode, 1603u);
  EXPECT_FALSE(Exists(ProgramFiles64() + L"\\BastionFilesTest never"));
  DeleteFileW(package.c_str());
}

// The line is "\"" + system folder + "\\msiexec.exe" + "\" " + arguments,
// then the log's arguments when they fit too.
TEST_F(InstallerLaunchTest, CommandLineOver259CharactersStartsNothingAndTheLogGivesWayFirst) {
  wchar_t system[MAX_PATH];
  size_t systemLength = GetSystemDirectoryW(system, MAX_PATH);
  size_t room = 259 - (systemLength + 15);
  // Arguments for a missing package with a name that fills the room exactly.
  std::wstring fitting = InstallerArguments(folder_);
  fitting = InstallerArguments(folder_ + std::wstring(room - fitting.size() - 4, L'p') + L".msi");
  ASSERT_EQ(fitting.size(), room);
  const std::wstring installerLog = folder_ + L"l.log";

  LaunchRecord record = {};
  TraceRecorder recorder;
  Lines lines;
  std::wstring tooLong = fitting;
  tooLong.insert(tooLong.find(L".msi"), L"p");
  EXPECT_FALSE(LaunchInstaller(&record, L"msiexec.exe", tooLong.c_str(), installerLog.c_str()));
  std::vector<std::pair<USHORT, ULONG>> traces = Traces(recorder);
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].first, 12);
  EXPECT_EQ(record.process.dwProcessId, 0u);
  EXPECT_EQ(record.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(lines.Take(), std::vector<std::string>{"[error] Installer command line exceeds 259 characters"});

  // One character less fits without the log: msiexec starts, finds no
  // package and ends, and the log says why there is no installer log.
  recorder.Clear();
  EXPECT_TRUE(LaunchInstaller(&record, L"msiexec.exe", fitting.c_str(), installerLog.c_str()));
  traces = Traces(recorder);
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].first, 14);
  EXPECT_NE(traces[0].second, 0u);
  EXPECT_EQ(lines.Take(), std::vector<std::string>{
                              "[info] Installer log left out: the command line would exceed 259 characters"});
  EXPECT_FALSE(Exists(installerLog));

  // Arguments that leave exactly the log's room take the log.
  const std::wstring logArguments = InstallerLogArguments(installerLog);
  std::wstring withLog = InstallerArguments(folder_);
  withLog = InstallerArguments(folder_ + std::wstring(room - logArguments.size() - withLog.size() - 4, L'p') + L".msi");
  ASSERT_EQ(withLog.size() + logArguments.size(), room);
  EXPECT_TRUE(LaunchInstaller(&record, L"msiexec.exe", withLog.c_str(), installerLog.c_str()));
  const std::string path8(installerLog.begin(), installerLog.end());
  EXPECT_EQ(lines.Take(), std::vector<std::string>{"[info] Installer log: " + path8});
  DeleteFileW(installerLog.c_str());
}

TEST_F(InstallerLaunchTest, MissingProgramIsNotStarted) {
  LaunchRecord record = {};
  TraceRecorder recorder;
  EXPECT_FALSE(LaunchInstaller(&record, L"no-such-installer.exe", L"/qn"));
  EXPECT_EQ(Traces(recorder), (std::vector<std::pair<USHORT, ULONG>>{{13, ERROR_FILE_NOT_FOUND}}));
  EXPECT_EQ(record.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  recorder.Clear();
  std::wstring longName(260, L'b');
  EXPECT_FALSE(LaunchInstaller(&record, longName.c_str(), L"/qn"));
  std::vector<std::pair<USHORT, ULONG>> traces = Traces(recorder);
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_EQ(traces[0].first, 11);
}

// Fakes of the wait and the read, one answer each.
DWORD g_waitAnswer = WAIT_OBJECT_0;
BOOL g_readAnswer = TRUE;
DWORD g_codeRead = 0;
DWORD WINAPI FakeWait(HANDLE, DWORD) {
  SetLastError(ERROR_INVALID_HANDLE);
  return g_waitAnswer;
}
BOOL WINAPI FakeRead(HANDLE, DWORD* code) {
  SetLastError(ERROR_ACCESS_DENIED);
  if (g_readAnswer) *code = g_codeRead;
  return g_readAnswer;
}

TEST(AwaitInstallerExitCode, AnEndThatWasNotSeenIsAFailureNeverZeroOr259) {
  struct Case {
    DWORD wait;
    BOOL read;
    DWORD code;
    DWORD expected;
    std::vector<std::pair<USHORT, ULONG>> traces;
  };
  const Case cases[] = {
      {WAIT_OBJECT_0, TRUE, 3010, 3010, {{14, 3010}}},
      {WAIT_FAILED, TRUE, 0, 1603, {{15, ERROR_INVALID_HANDLE}}},
      {WAIT_OBJECT_0, FALSE, 0, 1603, {{15, ERROR_ACCESS_DENIED}}},
      {WAIT_OBJECT_0, TRUE, STILL_ACTIVE, 1603, {{14, STILL_ACTIVE}}},
  };
  for (const Case& c : cases) {
    g_waitAnswer = c.wait;
    g_readAnswer = c.read;
    g_codeRead = c.code;
    TraceRecorder recorder;
    EXPECT_EQ(AwaitInstallerExitCode(nullptr, {FakeWait, FakeRead}), c.expected) << c.wait << " " << c.read;
    std::vector<std::pair<USHORT, ULONG>> traces;
    for (const TraceRecord& r : recorder.records())
      if (IsEqualGUID(r.guid, kLaunchGuid)) traces.emplace_back(r.number, r.Value(0));
    EXPECT_EQ(traces, c.traces);
  }
}

// OnButton no longer ends the process: a press while the installer is
// awaited leaves the wait and the installer's code alone (the procedure
// checks for a press only before the launch).
DWORD WINAPI WaitAfterAPress(HANDLE process, DWORD milliseconds) {
  std::thread([] {
    BSTR button = SysAllocString(L"ABORT");
    OnButton(button);
    SysFreeString(button);
  }).join();
  return WaitForSingleObject(process, milliseconds);
}

TEST(AwaitInstallerExitCode, APressDuringTheInstallerChangesNothing) {
  HANDLE abort = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetAbortEvent(abort);
  // The stand-in, given no package, ends at once with 87.
  std::wstring commandLine = L"\"" + TestDirectory() + L"installer_stand_in.exe\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  EXPECT_EQ(AwaitInstallerExitCode(process.hProcess, {WaitAfterAPress, GetExitCodeProcess}), 87u);
  EXPECT_EQ(WaitForSingleObject(abort, 0), WAIT_OBJECT_0);
  EXPECT_EQ(RequestedExitCode(), 1u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  SetAbortEvent(nullptr);
  CloseHandle(abort);
}

TEST(InstallationGuardTest, BusyOnlyWhileAnotherProcessHoldsTheInstallerMutex) {
  EXPECT_FALSE(OpenInstallerMutex().IsValid());

  std::wstring name = L"BastionGuardTest" + std::to_wstring(GetCurrentProcessId());
  ScopedKernelHandle held(CreateEventW(nullptr, TRUE, FALSE, (name + L"_held").c_str()));
  ScopedKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, (name + L"_release").c_str()));
  std::wstring line = L"\"" + TestDirectory() + L"installer_mutex_holder.exe\" " + name;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION holder = {};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &holder));
  ScopedKernelHandle process(holder.hProcess);
  ScopedKernelHandle thread(holder.hThread);
  ASSERT_EQ(WaitForSingleObject(held.Get(), 30000), WAIT_OBJECT_0);

  {
    ScopedKernelHandle busy = OpenInstallerMutex();
    EXPECT_TRUE(busy.IsValid());
    // A test, not a wait: the mutex is owned by the holder all along.
    EXPECT_EQ(WaitForSingleObject(busy.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  }

  SetEvent(release.Get());
  ASSERT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.Get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(OpenInstallerMutex().IsValid());
}

}  // namespace
