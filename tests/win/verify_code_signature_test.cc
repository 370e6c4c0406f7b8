// WinVerifyTrust through the product's request. Under Wine it detects only a
// missing signature and a bad file digest: it accepts untrusted roots, so the
// untrusted-root and revoked cases of Windows cannot be shown here.
//
// The package's signer against the built-in publisher (the test PKI's
// code-signing certificate), on real signed packages read through Wine's
// crypt32.
#include "verification/verify_code_signature.h"

#include <gtest/gtest.h>

#include "win/process_runner.h"
#include "win/trace_recorder.h"
#include "win/trust_fixtures.h"

using namespace bastion;

namespace {

TEST(VerifyCodeSignatureTest, SignedProductIsTrustedAndTraced) {
  TraceRecorder recorder;
  LONG status = 12345;
  EXPECT_TRUE(VerifyCodeSignature(ProductPath().c_str(), status));
  EXPECT_EQ(status, 0);
  ASSERT_EQ(recorder.Named<CodeSignatureTrace>(), std::vector{CodeSignatureTrace::kChecked});
  const TraceRecord& r = recorder.records().back();
  EXPECT_EQ(r.flag, trace::kComponents);
  EXPECT_EQ(r.Wide(0), ProductPath());
  EXPECT_EQ(r.Value(1), 1u);
}

TEST(VerifyCodeSignatureTest, StampedProductStaysTrusted) {
  LONG status = 0;
  EXPECT_TRUE(VerifyCodeSignature(FixturePath(L"stamped.exe").c_str(), status));
}

TEST(VerifyCodeSignatureTest, UnsignedFileHasNoSignature) {
  TraceRecorder recorder;
  LONG status = 0;
  const std::wstring tests = TestDirectory() + L"\\bastion_tests.exe";
  EXPECT_FALSE(VerifyCodeSignature(tests.c_str(), status));
  EXPECT_EQ(static_cast<HRESULT>(status), TRUST_E_NOSIGNATURE);
  EXPECT_EQ(recorder.records().back().Value(1), 0u);
}

TEST(VerifyCodeSignatureTest, AlteredCodeFailsTheDigest) {
  std::vector<BYTE> bytes = ReadBytes(ProductPath());
  ASSERT_GT(bytes.size(), 0x2000u);
  bytes[0x1000] ^= 0xFF;
  const std::wstring altered = FixturePath(L"altered_code.exe");
  ASSERT_TRUE(WriteBytes(altered, bytes));
  LONG status = 0;
  EXPECT_FALSE(VerifyCodeSignature(altered.c_str(), status));
  EXPECT_EQ(static_cast<HRESULT>(status), TRUST_E_BAD_DIGEST);
  DeleteFileW(altered.c_str());
}

// With a handle, WinTrust checks the bytes behind the handle: here those of
// a signed file, although the path names an unsigned one.
TEST(VerifyCodeSignatureTest, TheHandleNotThePathDecides) {
  HANDLE signedFile = CreateFileW(FixturePath(L"stamped.exe").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(signedFile, INVALID_HANDLE_VALUE);
  const std::wstring unsignedPath = TestDirectory() + L"\\bastion_tests.exe";
  LONG status = 1;
  EXPECT_TRUE(VerifyCodeSignature(unsignedPath.c_str(), status, signedFile));
  EXPECT_EQ(status, 0);
  CloseHandle(signedFile);
}

// The package is checked through its hold: read-only, shared for reading only.
TEST(VerifyCodeSignatureTest, SignedPackageIsTrustedThroughItsHold) {
  const std::wstring package = TestDirectory() + L"\\msi\\reconf_signed.msi";
  HANDLE held = CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  LONG status = 1;
  EXPECT_TRUE(VerifyCodeSignature(package.c_str(), status, held));
  EXPECT_EQ(status, 0);
  CloseHandle(held);
}

TEST(VerifyCodeSignatureTest, MissingFileIsNotTrusted) {
  LONG status = 0;
  EXPECT_FALSE(VerifyCodeSignature(FixturePath(L"no-such-file.exe").c_str(), status));
  EXPECT_NE(status, 0);
}

bool FromOurPublisher(const wchar_t* package) { return PackageFromOurPublisher(FixturePath(package).c_str()); }

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
}

}  // namespace
