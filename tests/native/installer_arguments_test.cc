#include "Src/VTDropper/installer_arguments.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(InstallerArgumentsTest, QuotesAPackagePathWithBlanks) {
  EXPECT_EQ(InstallerArguments(L"C:\\Users\\Jane Doe\\AppData\\Local\\Temp\\a b.tmp"),
            L"/i \"C:\\Users\\Jane Doe\\AppData\\Local\\Temp\\a b.tmp\" /qn");
  EXPECT_EQ(InstallerArguments(L"C:\\T\\x.tmp"), L"/i \"C:\\T\\x.tmp\" /qn");
}

}  // namespace
