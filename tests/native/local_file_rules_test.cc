#include "Src/VTDropper/local_file_rules.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(LongPathTest, OnlyLongFullPathsGainThePrefix) {
  const std::wstring folder(300, L'a');
  EXPECT_EQ(ExtendedLengthPath(L"C:\\x\\BastionSetup.exe"), L"C:\\x\\BastionSetup.exe");
  const std::wstring limit = L"C:\\" + std::wstring(256, L'b') + L".e";  // 261 characters
  EXPECT_EQ(ExtendedLengthPath(limit.substr(0, 259)), limit.substr(0, 259));
  EXPECT_EQ(ExtendedLengthPath(limit.substr(0, 260)), L"\\\\?\\" + limit.substr(0, 260));
  EXPECT_EQ(ExtendedLengthPath(L"\\\\srv\\share\\" + folder), L"\\\\?\\UNC\\srv\\share\\" + folder);
  EXPECT_EQ(ExtendedLengthPath(L"\\\\?\\C:\\" + folder), L"\\\\?\\C:\\" + folder);
  EXPECT_EQ(ExtendedLengthPath(L"\\\\.\\C:\\" + folder), L"\\\\.\\C:\\" + folder);
  EXPECT_EQ(ExtendedLengthPath(L"rel\\" + folder), L"rel\\" + folder);
}

TEST(PackageMoveOutcomeTest, MessagesForEachWayOfFailing) {
  EXPECT_EQ(PackageMoveFailureMessage({0, false}), "");
  EXPECT_EQ(PackageMoveFailureMessage({0, true}), "");
  // The rename over BSX.msi: two blanks before the code, one after it.
  EXPECT_EQ(PackageMoveFailureMessage({5, false}), "Failed to copy BSX.msi from temp folder with error:  5 \n");
  EXPECT_EQ(PackageMoveFailureMessage({112, true}), "Failed to copy BSX.msi from temp folder\n");
}

}  // namespace
