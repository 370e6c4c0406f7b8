// The configuration's place in our file, the byte search that finds it, and
// the document read from it.
#include "Src/VTDropper/config_blob.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace bastion;

namespace {

std::optional<size_t> Find(const std::string& haystack, const std::string& needle) {
  return FindBytes(reinterpret_cast<const uint8_t*>(haystack.data()), haystack.size(),
                   reinterpret_cast<const uint8_t*>(needle.data()), needle.size());
}

TEST(ByteSearchTest, EmptyInputs) {
  EXPECT_EQ(Find("", ""), std::nullopt);
  EXPECT_EQ(Find("", "a"), std::nullopt);
  EXPECT_EQ(Find("abc", ""), 0u);
}

TEST(ByteSearchTest, NeedleLongerThanHaystack) { EXPECT_EQ(Find("abc", "abcd"), std::nullopt); }

TEST(ByteSearchTest, MatchPositions) {
  EXPECT_EQ(Find("abc", "abc"), 0u);
  EXPECT_EQ(Find("xxabc", "abc"), 2u);
  EXPECT_EQ(Find("abab_abc_abc", "abc"), 5u);  // first of two, after false starts
  EXPECT_EQ(Find(std::string("a\0b\0c", 5), std::string("\0c", 2)), 3u);
}

TEST(ByteSearchTest, PartialMatchAtTheEndIsNoMatch) {
  // Each heap buffer is exactly as long as its text, so a read past the end
  // is caught by AddressSanitizer.
  for (const char* text : {"xxab", "xxa", "abxab"}) {
    const std::string haystack(text);
    auto* copy = new uint8_t[haystack.size()];
    std::copy(haystack.begin(), haystack.end(), copy);
    EXPECT_EQ(FindBytes(copy, haystack.size(), reinterpret_cast<const uint8_t*>("abc"), 3),
              std::nullopt)
        << text;
    delete[] copy;
  }
}

// The block scan and the byte-wise tail must agree with a plain search at
// every alignment, needle length and haystack length around a block.
TEST(ByteSearchTest, AgreesWithAPlainSearch) {
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    const size_t length = random() % 80;
    const size_t needleLength = 1 + random() % 20;
    // A two-letter alphabet makes partial matches frequent.
    std::string haystack(length, 'a'), needle(needleLength, 'a');
    for (auto& c : haystack) c = "ab"[random() % 2];
    for (auto& c : needle) c = "ab"[random() % 8 == 0];
    const size_t expected = haystack.find(needle);
    auto* copy = new uint8_t[length == 0 ? 1 : length];
    std::copy(haystack.begin(), haystack.end(), copy);
    const auto found = FindBytes(copy, length, reinterpret_cast<const uint8_t*>(needle.data()),
                                 needleLength);
    delete[] copy;
    if (expected == std::string::npos || length == 0) {
      EXPECT_EQ(found, std::nullopt) << haystack << " / " << needle;
    } else {
      EXPECT_EQ(found, expected) << haystack << " / " << needle;
    }
  }
}

std::optional<BlobBounds> Locate(const std::string& image) {
  return LocateBlob(reinterpret_cast<const uint8_t*>(image.data()), image.size());
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

ConfigDocument Doc(const std::string& text) {
  return ConfigDocument(std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(ConfigDocumentTest, GetElement) {
  const auto doc = Doc("<R><URL>https://a/b/c</URL><URL>second</URL><E></E><AG_CONFIG>x</AG_CONFIG></R>");
  EXPECT_TRUE(doc.loaded());
  EXPECT_EQ(doc.GetElement("URL"), "https://a/b/c");
  EXPECT_EQ(doc.GetElement("E"), "");
  EXPECT_EQ(doc.GetElement("Missing"), "");
  // Nested search in the whole document, not only inside a parent.
  EXPECT_EQ(doc.GetElement("AG_CONFIG"), "x");
}

TEST(ConfigDocumentTest, GetElementNeedsBothTagsInOrder) {
  EXPECT_EQ(Doc("<URL>open only").GetElement("URL"), "");
  EXPECT_EQ(Doc("</URL>x<URL>").GetElement("URL"), "");
  EXPECT_EQ(Doc("</URL><URL>x</URL>").GetElement("URL"), "x");
  // An opening tag with attributes is not found.
  EXPECT_EQ(Doc("<URL a=\"1\">https://h/p/q</URL>").GetElement("URL"), "");
}

TEST(ConfigDocumentTest, GetAttribute) {
  EXPECT_EQ(Doc("<server fqdn=\"mgmt.example\" port=\"1\"></server>").GetAttribute("server", "fqdn"),
            "mgmt.example");
  // The value ends at its own quote, also when it is the last attribute.
  EXPECT_EQ(Doc("<server port=\"1\" fqdn=\"mgmt.example\"></server>").GetAttribute("server", "fqdn"),
            "mgmt.example");
  EXPECT_EQ(Doc("<server fqdn=\"mgmt.example\">text \"q\" more</server>").GetAttribute("server", "fqdn"),
            "mgmt.example");
  EXPECT_EQ(Doc("<server fqdn=\"\"></server>").GetAttribute("server", "fqdn"), "");
}

TEST(ConfigDocumentTest, GetAttributeMisses) {
  // No separate closing tag.
  EXPECT_EQ(Doc("<server fqdn=\"a\"/>").GetAttribute("server", "fqdn"), "");
  EXPECT_EQ(Doc("<server port=\"1\"></server>").GetAttribute("server", "fqdn"), "");
  EXPECT_EQ(Doc("<server fqdn=\"unterminated></server>").GetAttribute("server", "fqdn"), "");
  EXPECT_EQ(Doc("<server>fqdn=\"a\"</server>").GetAttribute("server", "fqdn"), "");
  EXPECT_EQ(Doc("").GetAttribute("server", "fqdn"), "");
}

TEST(ConfigDocumentTest, ConfigDatIsTheBodyByteForByte) {
  const std::string body = "<a>Z\xC3\xBCrich \xE2\x98\x83</a>\r\n\t";
  const auto doc = Doc("<AG_CONFIG>" + body + "</AG_CONFIG>");
  EXPECT_EQ(MakeConfigDat(doc.GetElement("AG_CONFIG")),
            "<?xml version='1.0' encoding='UTF-8'?><AG_CONFIG>" + body + "</AG_CONFIG>");
  EXPECT_EQ(MakeConfigDat(Doc("<URL>x</URL>").GetElement("AG_CONFIG")),
            "<?xml version='1.0' encoding='UTF-8'?><AG_CONFIG></AG_CONFIG>");
}

TEST(ConfigDocumentTest, TheTrailingZeroOfTheContentIsNeverInsideAValue) {
  std::vector<uint8_t> bytes = {'<', 'U', 'R', 'L', '>', 'x', '<', '/', 'U', 'R', 'L', '>', 0};
  EXPECT_EQ(ConfigDocument(bytes).GetElement("URL"), "x");
}

TEST(ServerUrlTest, SplitsHostAndPath) {
  ServerAddress a;
  ASSERT_TRUE(SplitServerUrl("https://mgmt.example/dir/file.msi", a));
  EXPECT_EQ(a.host, "mgmt.example");
  EXPECT_EQ(a.path, "/dir/file.msi");
  // The download's own port may be named; it is not part of the host.
  ASSERT_TRUE(SplitServerUrl("https://mgmt.example:443/dir/file.msi", a));
  EXPECT_EQ(a.host, "mgmt.example");
  ASSERT_TRUE(SplitServerUrl("https://[::1]:443/dir/file.msi", a));
  EXPECT_EQ(a.host, "[::1]");
  ASSERT_TRUE(SplitServerUrl("HTTPS://h/a/b/c?x=/y", a));
  EXPECT_EQ(a.host, "h");
  EXPECT_EQ(a.path, "/a/b/c?x=/y");
  ASSERT_TRUE(SplitServerUrl("https://h/a/", a));
  EXPECT_EQ(a.path, "/a/");
}

TEST(ServerUrlTest, RejectsWhatCannotBeSplitSafely) {
  ServerAddress a{"unchanged", "unchanged"};
  for (const char* url : {"", "https://", "https://host", "https://host/file.msi",
                          // A plain web prefix would lose the host's first letter.
                          "http://host/dir/file.msi", "ftp://ho/dir/file.msi",
                          "https:/host/dir/file", "https:x/host/dir/file",
                          // No host: the first path segment would be taken for it.
                          "https:///dir/file.msi",
                          // The download goes to port 443 only, without user information.
                          "https://mgmt.example:8443/dir/file.msi", "https://mgmt.example:/dir/file.msi",
                          "https://mgmt.example:4430/dir/file.msi", "https://[::1]:8443/dir/file.msi",
                          "https://:443/dir/file.msi", "https://user:pw@mgmt.example/dir/file.msi",
                          "https://user@mgmt.example:443/dir/file.msi"}) {
    EXPECT_FALSE(SplitServerUrl(url, a)) << url;
  }
  EXPECT_EQ(a.host, "unchanged");
}

}  // namespace
