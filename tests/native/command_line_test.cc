#include "Src/VTDropper/command_line.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

RunMode Parse(std::initializer_list<const wchar_t*> args) {
  std::vector<const wchar_t*> argv = {L"BastionSetup.exe"};
  argv.insert(argv.end(), args);
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineTest, SelectsModesCaseInsensitively) {
  EXPECT_EQ(Parse({L"/?"}), RunMode::kUsage);
  EXPECT_EQ(Parse({L"-v"}), RunMode::kVerify);
  EXPECT_EQ(Parse({L"-V"}), RunMode::kVerify);
  EXPECT_EQ(Parse({L"/createmsi"}), RunMode::kCreatePackage);
  EXPECT_EQ(Parse({L"/CREATEMSI"}), RunMode::kCreatePackage);
  EXPECT_EQ(Parse({L"/CreateMsi"}), RunMode::kCreatePackage);
}

TEST(CommandLineTest, AnythingElseIsAnInstallation) {
  EXPECT_EQ(Parse({}), RunMode::kInstall);
  EXPECT_EQ(Parse({L"/createmsi", L"-v"}), RunMode::kInstall);
  EXPECT_EQ(Parse({L"/?", L"-v"}), RunMode::kInstall);
  EXPECT_EQ(Parse({L"--v"}), RunMode::kInstall);
  EXPECT_EQ(Parse({L"/v"}), RunMode::kInstall);
  EXPECT_EQ(Parse({L"/help"}), RunMode::kInstall);
  EXPECT_EQ(Parse({L"-v "}), RunMode::kInstall);
}

TEST(CommandLineTest, OnlyAsciiCapitalsFold) {
  EXPECT_TRUE(EqualsAsciiNoCase(L"ABCXYZ", L"abcxyz"));
  // U+0130 (capital I with dot) and the Kelvin sign do not fold to ASCII.
  EXPECT_FALSE(EqualsAsciiNoCase(L"/createms\u0130", L"/createmsi"));
  EXPECT_FALSE(EqualsAsciiNoCase(L"-\u212A", L"-k"));
  EXPECT_FALSE(EqualsAsciiNoCase(L"[", L"{")) << "no folding outside A-Z";
  EXPECT_FALSE(EqualsAsciiNoCase(L"-v", L"-vv"));
}

}  // namespace
