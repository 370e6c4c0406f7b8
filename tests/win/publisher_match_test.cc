// The package's signer against the stub's, on real signed packages read
// through Wine's crypt32; the stub is the product signed by the build.
#include "verification/publisher_match.h"

#include <gtest/gtest.h>

#include "win/trust_fixtures.h"

using namespace bastion;

namespace {

bool FromOurPublisher(const wchar_t* package, const wchar_t* stub = L"stamped.exe") {
  const std::vector<BYTE> image = ReadBytes(FixturePath(stub));
  EXPECT_FALSE(image.empty());
  return PackageFromOurPublisher(image.data(), image.size(), FixturePath(package).c_str());
}

TEST(PublisherMatchTest, OurSubjectMatchesAlsoWhenEncodedAnew) {
  EXPECT_TRUE(FromOurPublisher(L"own.msi"));
  EXPECT_TRUE(FromOurPublisher(L"renewed.msi"));
}

// Added certificates never make a foreign signer ours: neither our own
// certificate nor one that copies the foreign signer's issuer, serial number
// and key under our subject.
TEST(PublisherMatchTest, ForeignSignerIsRefusedWhateverCertificatesAreAdded) {
  EXPECT_FALSE(FromOurPublisher(L"foreign.msi"));
  EXPECT_FALSE(FromOurPublisher(L"foreign_with_ours.msi"));
  EXPECT_FALSE(FromOurPublisher(L"foreign_with_forged.msi"));
}

TEST(PublisherMatchTest, UnsignedOrUnreadableSignaturesAreRefused) {
  EXPECT_FALSE(FromOurPublisher(L"package.msi"));
  EXPECT_FALSE(FromOurPublisher(L"no_such.msi"));
  // A stub signed by another subject (a pinned publisher) is not the
  // packages' publisher.
  EXPECT_FALSE(FromOurPublisher(L"own.msi", L"publisher_signed.exe"));
}

}  // namespace
