#include "diagnostics/trace.h"

#include <gtest/gtest.h>
#include <wmistr.h>

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
  EXPECT_EQ(r[0].number, 21);
  EXPECT_TRUE(r[0].args.empty());
  EXPECT_EQ(r[1].guid, trace::MessageGuid<SystemLibraryTrace>::value);
  EXPECT_EQ(r[1].number, 14);
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

}  // namespace
