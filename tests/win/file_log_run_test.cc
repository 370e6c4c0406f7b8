// The product sets the log up at the start of every run and appends to it.
#include <shlobj.h>

#include <gtest/gtest.h>

#include "win/log_test_support.h"
#include "win/process_runner.h"

namespace {

size_t CountLines(const std::string& content) {
  size_t lines = 0;
  for (size_t at = 0; (at = content.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  return lines;
}

TEST(FileLogRunTest, EachRunAppendsStartingToTheUsersLog) {
  char folder[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
  std::string path = std::string(folder) + "\\Veltrion\\BastionClientUI\\tiny.log";

  for (int run = 0; run < 2; ++run) {
    std::string before = ReadWholeFile(path);
    ProcessResult r = RunProcess(L"\"" + ProductPath() + L"\" -v");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 1603u) << "the unconfigured stub stops at its configuration check";
    std::string after = ReadWholeFile(path);
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "earlier runs stay";
    std::string first = after.substr(before.size(), after.find("\r\n", before.size()) - before.size());
    EXPECT_NE(first.find(" root       [info ] Starting [InstallationWrapper]"), std::string::npos)
        << first;
    EXPECT_GE(CountLines(after), CountLines(before) + 1);
  }
}

}  // namespace
