// The small Windows pieces of the procedure: the window station question and
// the console release.
#include <windows.h>

#include <gtest/gtest.h>

#include "Src/VTDropper/console_release.h"
#include "Src/VTDropper/window_station.h"

using namespace bastion;

namespace {

// Wine sets WSF_VISIBLE on every window station, display or not.
TEST(WindowStationTest, WineAlwaysLooksInteractive) {
  EXPECT_TRUE(IsInteractiveWindowStation());
}

TEST(ConsoleReleaseTest, ReleasesOnlyAConsoleOfItsOwn) {
  FreeConsole();
  // No console: nothing to release.
  EXPECT_FALSE(ReleaseConsoleIfOwnedAlone());
  if (!AllocConsole()) GTEST_SKIP() << "no console can be made here";
  // A console made for this process alone goes.
  EXPECT_TRUE(ReleaseConsoleIfOwnedAlone());
  DWORD processes[2] = {};
  EXPECT_EQ(GetConsoleProcessList(processes, 2), 0u);
}

}  // namespace
