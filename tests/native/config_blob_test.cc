#include "Src/VTDropper/config_blob.h"

#include <gtest/gtest.h>

#include <string>

using namespace bastion;

namespace {

std::optional<BlobBounds> Locate(const std::string& image) {
  return LocateBlob(reinterpret_cast<const uint8_t*>(image.data()), image.size());
}

TEST(ConfigBlobTest, MarkerTexts) {
  EXPECT_EQ(BeginMarker(), "___BLOB_BEGIN___");
  EXPECT_EQ(EndMarker(), "___BLOB_END___");
  EXPECT_EQ(BeginMarker().size(), kBeginMarkerLength);
  EXPECT_EQ(EndMarker().size(), kEndMarkerLength);
}

TEST(ConfigBlobTest, ContentLiesStrictlyBetweenTheFirstMarkers) {
  const std::string image = "MZ..." + BeginMarker() + "signed" + EndMarker() + std::string(6, '\0') +
                            BeginMarker() + "second" + EndMarker();
  auto bounds = Locate(image);
  ASSERT_TRUE(bounds);
  EXPECT_EQ(image.substr(bounds->offset, bounds->length), "signed");

  bounds = Locate(BeginMarker() + EndMarker());
  ASSERT_TRUE(bounds);
  EXPECT_EQ(bounds->length, 0u);
}

TEST(ConfigBlobTest, UnconfiguredLayout) {
  const std::string image =
      "code" + BeginMarker() + std::string(kUnconfiguredFillerLength, ' ') + EndMarker();
  const auto bounds = Locate(image);
  ASSERT_TRUE(bounds);
  EXPECT_EQ(bounds->offset, 4 + kBeginMarkerLength);
  EXPECT_EQ(bounds->length, kUnconfiguredFillerLength);
}

TEST(ConfigBlobTest, MissingOrMisplacedMarkers) {
  EXPECT_FALSE(Locate(""));
  EXPECT_FALSE(Locate("no markers at all"));
  EXPECT_FALSE(Locate(BeginMarker() + "content"));
  EXPECT_FALSE(Locate("content" + EndMarker()));
  // End before begin: the first end marker counts, even with a later one.
  EXPECT_FALSE(Locate(EndMarker() + BeginMarker() + "x" + EndMarker()));
  // One underscore short is no marker.
  EXPECT_FALSE(Locate("___BLOB_BEGIN__x___BLOB_END___"));
}

TEST(ConfigBlobTest, EndMarkerOverlappingTheBeginMarkerIsRejected) {
  // "___BLOB_BEGIN___" followed by "BLOB_END___" holds an end marker that
  // starts three bytes before the begin marker ends: no content, no
  // negative length.
  const std::string image = BeginMarker() + "BLOB_END___";
  ASSERT_LT(image.find(EndMarker()), kBeginMarkerLength);
  EXPECT_FALSE(Locate(image));
}

}  // namespace
