// The procedure run inside the test process, whose own file is unsigned: it
// must end at the self-check, before looking for the blob.
#include "Src/VTDropper/install_procedure.h"

#include <gtest/gtest.h>

#include "win/trace_recorder.h"

using namespace bastion;

namespace {

constexpr const GUID& kProcedureGuid = trace::MessageGuid<ProcedureTrace>::value;
TEST(InstallProcedureTest, UnsignedOwnFileEndsAtTheSelfCheck) {
  for (bool verify : {true, false}) {
    TraceRecorder recorder;
    InstallationWrapper(verify, false);
    EXPECT_EQ(recorder.Named<ProcedureTrace>(),
              (std::vector{ProcedureTrace::kStarting, ProcedureTrace::kOwnImageUnavailable}));
    EXPECT_EQ(recorder.Named<ModuleImageTrace>(), std::vector{ModuleImageTrace::kSignatureRefused});
    for (const auto& r : recorder.records()) {
      if (r.guid == kProcedureGuid) {
        EXPECT_EQ(r.flag, trace::kSteps);
      }
    }
  }
}

}  // namespace
