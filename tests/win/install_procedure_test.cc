// The procedure run inside the test process, whose own file is unsigned: it
// must end at the self-check, before looking for the blob.
#include "Src/VTDropper/install_procedure.h"

#include <gtest/gtest.h>

#include "win/trace_recorder.h"

using namespace bastion;

namespace {

// {836579AB-A681-3146-B02F-8986F8BE98D8}
constexpr GUID kProcedureGuid = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};
// {2838AA93-000F-3695-1FA2-7C7CEB448435}
constexpr GUID kModuleGuid = {0x2838AA93, 0x000F, 0x3695, {0x1F, 0xA2, 0x7C, 0x7C, 0xEB, 0x44, 0x84, 0x35}};

TEST(InstallProcedureTest, UnsignedOwnFileEndsAtTheSelfCheck) {
  for (bool verify : {true, false}) {
    TraceRecorder recorder;
    InstallationWrapper(verify, false);
    EXPECT_EQ(recorder.Numbers(kProcedureGuid), (std::vector<USHORT>{12, 13}));
    EXPECT_EQ(recorder.Numbers(kModuleGuid), std::vector<USHORT>{11});
    for (const auto& r : recorder.records()) {
      if (r.guid == kProcedureGuid) {
        EXPECT_EQ(r.flag, trace::kSteps);
      }
    }
  }
}

}  // namespace
