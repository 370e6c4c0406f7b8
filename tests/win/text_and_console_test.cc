// The small Windows pieces of the procedure: UTF-8 conversion, the window
// station question and the console release.
#include <windows.h>

#include <gtest/gtest.h>

#include "Src/VTDropper/console_release.h"
#include "Src/VTDropper/utf8_to_wide.h"
#include "Src/VTDropper/window_station.h"

using namespace bastion;

namespace {

TEST(Utf8ToWideTest, ConvertsAndKeepsEmbeddedText) {
  EXPECT_EQ(Utf8ToWide("Server: Z\xC3\xBCrich \xE2\x98\x83"), L"Server: Z\u00FCrich \u2603");
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x94\x92"), L"\U0001F512");  // a surrogate pair
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

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
