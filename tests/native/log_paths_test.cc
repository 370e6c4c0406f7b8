#include "diagnostics/log_paths.h"

#include <gtest/gtest.h>

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

}  // namespace
