#include "diagnostics/trace.h"

#include <gtest/gtest.h>
#include <wmistr.h>

#include <string>
#include <vector>

#include "win/trace_recorder.h"

using namespace bastion;

namespace {

// {3E2D7C10-0000-4000-8000-00000000BA57}: a message GUID of this test only.
constexpr GUID kGuid = {0x3E2D7C10, 0x0000, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBA, 0x57}};

TEST(TraceMessageTest, WritesOnlyWhenRegisteredAndFlagSet) {
  trace::UnregisterProviders();
  {
    TraceRecorder recorder(trace::kSteps);
    trace::Message(kGuid, 10, trace::kSteps);
    trace::Message(kGuid, 11, trace::kComponents);
    trace::Message(kGuid, 12, trace::kLogSetup);
    EXPECT_EQ(recorder.Numbers(kGuid), std::vector<USHORT>({10}));
  }
  // After clean-up the control pointer names nothing, whatever the flags.
  EXPECT_EQ(trace::testing::ControlPointer(), nullptr);
  TraceRecorder recorder(0xFFFF);
  trace::UnregisterProviders();
  trace::testing::Block().flags = 0xFFFF;
  trace::Message(kGuid, 13, trace::kSteps);
  EXPECT_TRUE(recorder.records().empty());
}

TEST(TraceMessageTest, EveryShapeRecordsItsArguments) {
  TraceRecorder recorder;
  trace::Message(kGuid, 10, trace::kSteps);
  trace::Message(kGuid, 11, trace::kSteps, 0xDEADBEEFul);
  trace::Message(kGuid, 12, trace::kSteps, L"w\u00e9");
  trace::Message(kGuid, 13, trace::kSteps, "narrow");
  trace::Message(kGuid, 14, trace::kSteps, 7ul, L"after");
  trace::Message(kGuid, 15, trace::kSteps, L"before", 8ul);
  trace::Message(kGuid, 16, trace::kSteps, "n", 9ul);
  trace::Message(kGuid, 17, trace::kComponents, 1ul, 2ul, 3ul, 4ul, 0xFFFFFFFFul);

  const std::vector<TraceRecord>& r = recorder.records();
  ASSERT_EQ(r.size(), 8u);
  EXPECT_TRUE(r[0].args.empty());
  ASSERT_EQ(r[1].args.size(), 1u);
  EXPECT_EQ(r[1].args[0].size(), 4u);
  EXPECT_EQ(r[1].Value(0), 0xDEADBEEFul);
  EXPECT_EQ(r[2].args[0].size(), 3 * sizeof(wchar_t)) << "terminator included";
  EXPECT_EQ(r[2].Wide(0), L"w\u00e9");
  EXPECT_EQ(r[3].args[0].size(), 7u);
  EXPECT_EQ(r[3].Narrow(0), "narrow");
  ASSERT_EQ(r[4].args.size(), 2u);
  EXPECT_EQ(r[4].Value(0), 7u);
  EXPECT_EQ(r[4].Wide(1), L"after");
  EXPECT_EQ(r[5].Wide(0), L"before");
  EXPECT_EQ(r[5].Value(1), 8u);
  EXPECT_EQ(r[6].Narrow(0), "n");
  EXPECT_EQ(r[6].Value(1), 9u);
  ASSERT_EQ(r[7].args.size(), 5u);
  EXPECT_EQ(r[7].flag, static_cast<ULONG>(trace::kComponents));
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(r[7].Value(i), i + 1);
  EXPECT_EQ(r[7].Value(4), 0xFFFFFFFFul);
}

// A named message goes out under its set's GUID and number, with its arguments.
TEST(TraceMessageTest, NamedMessageIsItsSetsGuidAndNumber) {
  TraceRecorder recorder;
  trace::Message(ProcedureTrace::kConfigDatSaved, trace::kSteps);
  trace::Message(SystemLibraryTrace::kFunctionNotFound, trace::kComponents, "Export", 127ul);
  const std::vector<TraceRecord>& r = recorder.records();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].guid, trace::MessageGuid<ProcedureTrace>::value);
  EXPECT_EQ(r[0].number, static_cast<int>(ProcedureTrace::kConfigDatSaved));
  EXPECT_TRUE(r[0].args.empty());
  EXPECT_EQ(r[1].guid, trace::MessageGuid<SystemLibraryTrace>::value);
  EXPECT_EQ(r[1].number, static_cast<int>(SystemLibraryTrace::kFunctionNotFound));
  EXPECT_EQ(r[1].flag, static_cast<ULONG>(trace::kComponents));
  EXPECT_EQ(r[1].Narrow(0), "Export");
  EXPECT_EQ(r[1].Value(1), 127u);
}

TEST(TraceMessageTest, AbsentStringsRecordNull) {
  TraceRecorder recorder;
  trace::Message(kGuid, 10, trace::kSteps, static_cast<const wchar_t*>(nullptr));
  trace::Message(kGuid, 11, trace::kSteps, static_cast<const char*>(nullptr));
  trace::Message(kGuid, 12, trace::kSteps, 5ul, static_cast<const wchar_t*>(nullptr));
  trace::Message(kGuid, 13, trace::kSteps, static_cast<const wchar_t*>(nullptr), 6ul);
  trace::Message(kGuid, 14, trace::kSteps, static_cast<const char*>(nullptr), 7ul);

  const std::vector<TraceRecord>& r = recorder.records();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0].args[0].size(), 10u);
  EXPECT_EQ(r[0].Wide(0), L"NULL");
  EXPECT_EQ(r[1].args[0].size(), 5u);
  EXPECT_EQ(r[1].Narrow(0), "NULL");
  EXPECT_EQ(r[2].args[1].size(), 10u);
  EXPECT_EQ(r[3].args[0].size(), 10u);
  EXPECT_EQ(r[3].Value(1), 6u);
  EXPECT_EQ(r[4].args[0].size(), 5u);
  EXPECT_EQ(r[4].Narrow(0), "NULL");
}

// The system calls the callback with a WNODE_HEADER whose historical context
// carries the session's logger handle.
TEST(TraceControlCallbackTest, EnableStoresSessionDisableClearsOthersAreRefused) {
  trace::ControlBlock block;
  WNODE_HEADER header = {};
  header.BufferSize = sizeof(header);
  header.HistoricalContext = 0x2A;
  ULONG size = sizeof(header);

  EXPECT_EQ(trace::ControlCallback(WMI_ENABLE_EVENTS, &block, &size, &header), 0u);
  EXPECT_EQ(size, 0u);
  // Wine answers its own values for these queries; the block must hold
  // exactly what the system answered.
  TRACEHANDLE logger = GetTraceLoggerHandle(&header);
  EXPECT_EQ(block.logger, logger);
  EXPECT_EQ(block.level, GetTraceEnableLevel(logger));
  EXPECT_EQ(block.flags, GetTraceEnableFlags(logger));

  block.logger = 5;
  block.level = 4;
  block.flags = 0xFFFF;
  for (WMIDPREQUESTCODE code : {WMI_GET_ALL_DATA, WMI_GET_SINGLE_INSTANCE, WMI_ENABLE_COLLECTION,
                                WMI_DISABLE_COLLECTION, WMI_EXECUTE_METHOD}) {
    size = 99;
    EXPECT_EQ(trace::ControlCallback(code, &block, &size, &header),
              static_cast<ULONG>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(block.flags, 0xFFFFu) << "other requests leave the block alone";
  }

  size = sizeof(header);
  EXPECT_EQ(trace::ControlCallback(WMI_DISABLE_EVENTS, &block, &size, &header), 0u);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(block.logger, 0u);
  EXPECT_EQ(block.level, 0);
  EXPECT_EQ(block.flags, 0u);
}

TEST(TraceControlCallbackTest, DisableThroughTheRegisteredBlockSilencesTracePoints) {
  TraceRecorder recorder;
  trace::Message(kGuid, 10, trace::kSteps);
  WNODE_HEADER header = {};
  ULONG size = sizeof(header);
  trace::ControlCallback(WMI_DISABLE_EVENTS, &trace::testing::Block(), &size, &header);
  trace::Message(kGuid, 11, trace::kSteps);
  EXPECT_EQ(recorder.Numbers(kGuid), std::vector<USHORT>({10}));
}

TEST(TraceProviderTest, RegistrationPointsAtTheBlockAndCleanUpUnsetsIt) {
  trace::RegisterProvider();
  EXPECT_EQ(trace::testing::ControlPointer(), &trace::testing::Block());
  EXPECT_EQ(trace::testing::Block().flagCount, 1u);
  EXPECT_TRUE(IsEqualGUID(trace::testing::Block().controlGuid, trace::kProviderGuid));
  trace::UnregisterProviders();
  EXPECT_EQ(trace::testing::ControlPointer(), nullptr);
  EXPECT_EQ(trace::testing::Block().registration, 0u);
}

// The session.
using trace::TraceSession;

// What the fake session calls saw. ETW is a stub under Wine (every call
// answers 0 and nothing is written), so the calls are observed here.
struct Calls {
  std::wstring systemFolder;
  ULONG startResult = ERROR_SUCCESS;
  ULONG enableResult = ERROR_SUCCESS;
  int starts = 0;
  std::wstring startName;
  std::vector<unsigned char> startBlock;
  struct Enable {
    TRACEHANDLE handle;
    GUID provider;
    ULONG code;
    UCHAR level;
    ULONGLONG any;
    ULONGLONG all;
    ULONG timeout;
    bool parameters;
  };
  std::vector<Enable> enables;
  struct Control {
    TRACEHANDLE handle;
    std::wstring name;
    const void* block;
    ULONG code;
  };
  std::vector<Control> controls;
};
Calls g_calls;
constexpr TRACEHANDLE kHandle = 0x1234567890ull;

UINT WINAPI FakeSystemDirectory(LPWSTR buffer, UINT size) {
  const std::wstring& folder = g_calls.systemFolder;
  if (folder.size() + 1 > size) return static_cast<UINT>(folder.size() + 1);
  wcscpy(buffer, folder.c_str());
  return static_cast<UINT>(folder.size());
}

ULONG WINAPI FakeStart(PTRACEHANDLE handle, LPCWSTR name, PEVENT_TRACE_PROPERTIES block) {
  ++g_calls.starts;
  g_calls.startName = name;
  auto* bytes = reinterpret_cast<unsigned char*>(block);
  g_calls.startBlock.assign(bytes, bytes + block->Wnode.BufferSize);
  if (g_calls.startResult == ERROR_SUCCESS) *handle = kHandle;
  return g_calls.startResult;
}

ULONG WINAPI FakeEnable(TRACEHANDLE handle, LPCGUID provider, ULONG code, UCHAR level,
                        ULONGLONG any, ULONGLONG all, ULONG timeout,
                        PENABLE_TRACE_PARAMETERS parameters) {
  g_calls.enables.push_back({handle, *provider, code, level, any, all, timeout, parameters != nullptr});
  return code == EVENT_CONTROL_CODE_ENABLE_PROVIDER ? g_calls.enableResult : ERROR_SUCCESS;
}

ULONG WINAPI FakeControl(TRACEHANDLE handle, LPCWSTR name, PEVENT_TRACE_PROPERTIES block, ULONG code) {
  g_calls.controls.push_back({handle, name, block, code});
  return ERROR_SUCCESS;
}

class TraceSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = Calls{};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"bastion_trace_session";
    CreateDirectoryW(root_.c_str(), nullptr);
    CreateDirectoryW((root_ + L"\\LogFiles").c_str(), nullptr);
    CreateDirectoryW((root_ + L"\\LogFiles\\WMI").c_str(), nullptr);
    etl_ = root_ + L"\\LogFiles\\WMI\\BastionSetup.etl";
    DeleteFileW(etl_.c_str());
    g_calls.systemFolder = root_;
  }
  void TearDown() override {
    DeleteFileW(etl_.c_str());
    RemoveDirectoryW((root_ + L"\\LogFiles\\WMI").c_str());
    RemoveDirectoryW((root_ + L"\\LogFiles").c_str());
    RemoveDirectoryW(root_.c_str());
  }

  static TraceSession::Api Fakes() {
    return {FakeSystemDirectory, FakeStart, FakeEnable, FakeControl};
  }
  bool EtlExists() const { return GetFileAttributesW(etl_.c_str()) != INVALID_FILE_ATTRIBUTES; }

  std::wstring root_;
  std::wstring etl_;
};


TEST(TraceSessionBlockTest, LayoutIsRecordThenNameRoomThenPath) {
  const wchar_t path[] = L"C:\\windows\\system32\\LogFiles\\WMI\\BastionSetup.etl";
  EVENT_TRACE_PROPERTIES* block = trace::AllocateSessionProperties(path);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(sizeof(EVENT_TRACE_PROPERTIES), 120u);
  EXPECT_EQ(block->Wnode.BufferSize, 148u + sizeof(path));
  EXPECT_EQ(block->LoggerNameOffset, 120u);
  EXPECT_EQ(block->LogFileNameOffset, 148u);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(reinterpret_cast<char*>(block) + 148), path);

  // Everything else is zero, so the system's defaults apply (sequential file,
  // no size limit, no flush timer, default clock, no traced-GUID flag).
  EVENT_TRACE_PROPERTIES expected = {};
  expected.Wnode.BufferSize = block->Wnode.BufferSize;
  expected.LoggerNameOffset = 120;
  expected.LogFileNameOffset = 148;
  EXPECT_EQ(memcmp(block, &expected, sizeof(expected)), 0);
  const unsigned char* nameRoom = reinterpret_cast<unsigned char*>(block) + 120;
  for (int i = 0; i < 28; ++i) EXPECT_EQ(nameRoom[i], 0) << i;
  free(block);
}

TEST_F(TraceSessionTest, StartsEnablesAndStopsInOrder) {
  {
    TraceSession session(Fakes());
    EXPECT_EQ(session.status(), 0u);
    EXPECT_TRUE(session.providerEnabled());
    EXPECT_EQ(session.sessionHandle(), kHandle);
    EXPECT_TRUE(EtlExists());

    ASSERT_EQ(g_calls.starts, 1);
    EXPECT_EQ(g_calls.startName, L"BastionSetup");
    ASSERT_EQ(g_calls.startBlock.size(), 148 + (etl_.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(g_calls.startBlock.data() + 148)), etl_);

    ASSERT_EQ(g_calls.enables.size(), 1u);
    const Calls::Enable& enable = g_calls.enables[0];
    EXPECT_EQ(enable.handle, kHandle);
    EXPECT_TRUE(IsEqualGUID(enable.provider, trace::kProviderGuid));
    EXPECT_EQ(enable.code, 1u);
    EXPECT_EQ(enable.level, 4);
    EXPECT_EQ(enable.any, 0xFFFFu);
    EXPECT_EQ(enable.all, 0u);
    EXPECT_EQ(enable.timeout, 0u);
    EXPECT_FALSE(enable.parameters);
    EXPECT_TRUE(g_calls.controls.empty());
  }
  ASSERT_EQ(g_calls.enables.size(), 2u);
  EXPECT_EQ(g_calls.enables[1].code, 0u);
  EXPECT_EQ(g_calls.enables[1].level, 4);
  EXPECT_EQ(g_calls.enables[1].any, 0u);
  ASSERT_EQ(g_calls.controls.size(), 1u);
  EXPECT_EQ(g_calls.controls[0].handle, kHandle);
  EXPECT_EQ(g_calls.controls[0].name, L"BastionSetup");
  EXPECT_NE(g_calls.controls[0].block, nullptr);
  EXPECT_EQ(g_calls.controls[0].code, static_cast<ULONG>(EVENT_TRACE_CONTROL_STOP));
}

TEST_F(TraceSessionTest, EtlFileIsTruncatedAtEveryStart) {
  HANDLE file = CreateFileW(etl_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "old trace", 9, &written, nullptr);
  CloseHandle(file);

  TraceSession session(Fakes());
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW(etl_.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 0u);
}

// An earlier run's session still running (or no right to start one): this run
// neither enables nor stops anything.
TEST_F(TraceSessionTest, FailedStartLeavesNoSessionToStop) {
  g_calls.startResult = ERROR_ALREADY_EXISTS;
  {
    TraceSession session(Fakes());
    EXPECT_EQ(session.status(), static_cast<ULONG>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(session.sessionHandle(), 0u);
  }
  EXPECT_EQ(g_calls.starts, 1);
  EXPECT_TRUE(g_calls.enables.empty());
  EXPECT_TRUE(g_calls.controls.empty());
}

TEST_F(TraceSessionTest, FailedEnableStillStopsButDoesNotDisable) {
  g_calls.enableResult = ERROR_ACCESS_DENIED;
  {
    TraceSession session(Fakes());
    EXPECT_EQ(session.status(), static_cast<ULONG>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(session.providerEnabled());
  }
  ASSERT_EQ(g_calls.enables.size(), 1u);
  ASSERT_EQ(g_calls.controls.size(), 1u);
}

TEST_F(TraceSessionTest, SystemFolderWithoutRoomForTheNameGivesNoSessionAndNoFile) {
  // 259 characters fit the folder, but not "\LogFiles\WMI\BastionSetup.etl".
  g_calls.systemFolder = root_ + L"\\" + std::wstring(258 - root_.size(), L'x');
  ASSERT_EQ(g_calls.systemFolder.size(), 259u);
  {
    TraceSession session(Fakes());
    EXPECT_EQ(session.properties(), nullptr);
    EXPECT_EQ(session.sessionHandle(), 0u);
  }
  EXPECT_EQ(g_calls.starts, 0);
  EXPECT_TRUE(g_calls.controls.empty());
  EXPECT_FALSE(EtlExists());

  g_calls.systemFolder = std::wstring(300, L'x');  // the folder itself too long
  TraceSession tooLong(Fakes());
  EXPECT_EQ(g_calls.starts, 0);
}

// The path fits exactly: 259 characters plus the terminator.
TEST_F(TraceSessionTest, PathOfExactly259CharactersStarts) {
  const size_t tail = wcslen(L"\\LogFiles\\WMI\\BastionSetup.etl");
  g_calls.systemFolder = std::wstring(259 - tail, L'y');
  TraceSession session(Fakes());
  EXPECT_EQ(g_calls.starts, 1);
  ASSERT_NE(session.properties(), nullptr);
  EXPECT_EQ(session.properties()->Wnode.BufferSize, 148u + 260u * sizeof(wchar_t));
}

// The product's own calls under Wine: the stubs answer 0, so the session
// counts as started and stopping it must not fail.
TEST(TraceSessionSystemTest, StartsAndStopsWithTheSystemCalls) {
  TraceSession session;
  EXPECT_EQ(session.status(), 0u);
  EXPECT_TRUE(session.providerEnabled());
  ASSERT_NE(session.properties(), nullptr);
  wchar_t expected[MAX_PATH];
  GetSystemDirectoryW(expected, MAX_PATH);
  wcscat(expected, L"\\LogFiles\\WMI\\BastionSetup.etl");
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(
                   reinterpret_cast<const char*>(session.properties()) + 148),
               expected);
}

}  // namespace
