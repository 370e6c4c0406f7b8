#include "diagnostics/log_paths.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

TEST(LogPathsTest, RotatedNamesPutTheIndexBeforeTheExtension) {
  EXPECT_EQ(RotatedLogName("C:\\a\\tiny.log", 0), "C:\\a\\tiny.log");
  EXPECT_EQ(RotatedLogName("C:\\a\\tiny.log", 1), "C:\\a\\tiny.1.log");
  EXPECT_EQ(RotatedLogName("C:\\a\\tiny.log", 5), "C:\\a\\tiny.5.log");
  EXPECT_EQ(RotatedLogName("tiny.tar.log", 2), "tiny.tar.2.log");
  // No extension: a point in a folder name, a leading point, a final point.
  EXPECT_EQ(RotatedLogName("C:\\a.b\\tiny", 3), "C:\\a.b\\tiny.3");
  EXPECT_EQ(RotatedLogName("C:/a.b/tiny", 3), "C:/a.b/tiny.3");
  EXPECT_EQ(RotatedLogName("C:\\a\\.log", 1), "C:\\a\\.log.1");
  EXPECT_EQ(RotatedLogName("tiny.", 1), "tiny..1");
  EXPECT_EQ(RotatedLogName("", 1), ".1");
}

TEST(LogPathsTest, FolderIsEverythingBeforeTheLastSeparator) {
  EXPECT_EQ(LogFolderOf("C:\\a\\b/tiny.log"), "C:\\a\\b");
  EXPECT_EQ(LogFolderOf("C:\\a/b\\tiny.log"), "C:\\a/b");
  EXPECT_EQ(LogFolderOf("\\tiny.log"), "");
  EXPECT_EQ(LogFolderOf("tiny.log"), "");
  EXPECT_EQ(LogFolderOf(""), "");
}

TEST(LogPathsTest, ProbeNameIsTheLowerCaseUuidWithoutBraces) {
  // {00112233-4455-6677-8899-AABBCCDDEEFF} as the system lays it out.
  const unsigned char uuid[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                  0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(ProbeFileName(uuid), "00112233-4455-6677-8899-aabbccddeeff");
  const unsigned char high[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ProbeFileName(high), "ffffffff-ffff-ffff-ffff-ffffffffffff");
}

// What each opened folder or file of the log's place must look like. Wine
// creates no junctions or symbolic links, so the answers a link gives on
// Windows (the reparse attribute, a final path elsewhere) are handed in here.
TEST(LogPathsTest, OnlyAPlainEntryAtItsParentsFinalPathIsTheLogsOwn) {
  const std::wstring local = L"\\\\?\\C:\\Users\\u\\AppData\\Local";
  const OpenedLogEntry folder{0x10, 1, local + L"\\Veltrion"};
  EXPECT_TRUE(IsOwnLogEntry(folder, true, local, L"Veltrion"));
  EXPECT_TRUE(IsOwnLogEntry({0x10, 1, local + L"\\VELTRION"}, true, local, L"Veltrion"));
  EXPECT_FALSE(IsOwnLogEntry(folder, false, local, L"Veltrion")) << "a folder where a file belongs";
  EXPECT_FALSE(IsOwnLogEntry({0x410, 1, local + L"\\Veltrion"}, true, local, L"Veltrion"))
      << "a junction, even one that points nowhere else";
  EXPECT_FALSE(IsOwnLogEntry({0x10, 1, L"\\\\?\\C:\\Windows\\System32"}, true, local, L"Veltrion"))
      << "a redirection above the opened entry";

  const std::wstring logs = local + L"\\Veltrion\\BastionClientUI";
  EXPECT_TRUE(IsOwnLogEntry({0x20, 1, logs + L"\\tiny.log"}, false, logs, L"tiny.log"));
  EXPECT_FALSE(IsOwnLogEntry({0x420, 1, logs + L"\\tiny.log"}, false, logs, L"tiny.log"));
  EXPECT_FALSE(IsOwnLogEntry({0x20, 2, logs + L"\\tiny.log"}, false, logs, L"tiny.log"))
      << "a hard link";
  EXPECT_FALSE(IsOwnLogEntry({0x20, 1, logs + L"\\tiny.log"}, false, logs, L"tiny.1.log"));
  EXPECT_FALSE(IsOwnLogEntry({0x20, 1, logs + L"x\\tiny.log"}, false, logs, L"tiny.log"));
  EXPECT_FALSE(IsOwnLogEntry({0x20, 1, logs + L"\\tiny.log"}, false, L"", L"tiny.log"));
  // A volume root's final path carries its separator.
  EXPECT_TRUE(IsOwnLogEntry({0x20, 1, L"\\\\?\\D:\\tiny.log"}, false, L"\\\\?\\D:\\", L"tiny.log"));
}

// The i686 product as LocalSystem asks for System32\config\systemprofile and
// the file system answers with SysWOW64: the opened folder's final path, not
// the shell's string, is what the file's final path is compared with.
TEST(LogPathsTest, Wow64RedirectionIsSeenOnBothSides) {
  const std::wstring profile =
      L"\\\\?\\C:\\Windows\\SysWOW64\\config\\systemprofile\\AppData\\Local";
  EXPECT_TRUE(IsOwnLogEntry({0x10, 1, profile + L"\\Veltrion"}, true, profile, L"Veltrion"));
  EXPECT_FALSE(IsOwnLogEntry({0x10, 1, profile + L"\\Veltrion"}, true,
                             L"\\\\?\\C:\\Windows\\System32\\config\\systemprofile\\AppData\\Local",
                             L"Veltrion"));
}

}  // namespace
