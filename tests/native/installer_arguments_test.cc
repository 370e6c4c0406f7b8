#include "Src/VTDropper/installer_arguments.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(InstallerArgumentsTest, QuotesAPackagePathWithBlanksAndItsLogBesideIt) {
  const std::wstring package = L"C:\\Users\\Jane Doe\\AppData\\Local\\Temp\\a b.tmp";
  EXPECT_EQ(InstallerArguments(package), L"/i \"C:\\Users\\Jane Doe\\AppData\\Local\\Temp\\a b.tmp\" /qn");
  EXPECT_EQ(InstallerArguments(L"C:\\T\\x.tmp"), L"/i \"C:\\T\\x.tmp\" /qn");
  EXPECT_EQ(InstallerArguments(package) + InstallerLogArguments(InstallerLogPath(package)),
            L"/i \"C:\\Users\\Jane Doe\\AppData\\Local\\Temp\\a b.tmp\" /qn"
            L" /l*v \"C:\\Users\\Jane Doe\\AppData\\Local\\Temp\\a b.tmp.log\"");
}

}  // namespace
