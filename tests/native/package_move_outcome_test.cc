#include "Src/VTDropper/package_move_outcome.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(PackageMoveOutcomeTest, MessagesForEachWayOfFailing) {
  EXPECT_EQ(PackageMoveFailureMessage({0, false}), "");
  EXPECT_EQ(PackageMoveFailureMessage({0, true}), "");
  // The rename over BSX.msi: two blanks before the code, one after it.
  EXPECT_EQ(PackageMoveFailureMessage({5, false}), "Failed to copy BSX.msi from temp folder with error:  5 \n");
  EXPECT_EQ(PackageMoveFailureMessage({112, true}), "Failed to copy BSX.msi from temp folder\n");
}

}  // namespace
