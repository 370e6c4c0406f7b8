#include "Src/VTDropper/config_document.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

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
