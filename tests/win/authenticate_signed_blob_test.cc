// The configuration signature check against real signed messages made with
// OpenSSL, through Wine's crypt32.
#include "verification/authenticate_signed_blob.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "win/trace_recorder.h"
#include "win/trust_fixtures.h"

using namespace bastion;

namespace {

constexpr const GUID& kTraceGuid = trace::MessageGuid<SignedBlobTrace>::value;

class AuthenticateSignedBlobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pem1_ = OneLinePem(FixturePath(L"publisher1.pem"));
    pem2_ = OneLinePem(FixturePath(L"publisher2.pem"));
    ASSERT_FALSE(pem1_.empty());
    ASSERT_FALSE(pem2_.empty());
  }

  int Check(const wchar_t* message, PCCERT_CONTEXT signer = nullptr, const char* pem1 = nullptr,
            const char* pem2 = nullptr, SignedContent expected = SignedContent::kConfiguration) {
    message_ = ReadBytes(FixturePath(message));
    EXPECT_FALSE(message_.empty());
    const CRYPT_DATA_BLOB blob = {static_cast<DWORD>(message_.size()), message_.data()};
    const char* certificates[2] = {pem1 ? pem1 : pem1_.c_str(), pem2 ? pem2 : pem2_.c_str()};
    return AuthenticateSignedBlobWith(blob, content_, signer, expected, certificates, 2);
  }

  std::vector<USHORT> Numbers() const { return recorder_.Numbers(kTraceGuid); }

  std::string ContentText() const {
    return content_.empty() ? std::string() : std::string(content_.begin(), content_.end() - 1);
  }

  TraceRecorder recorder_;
  std::string pem1_, pem2_;
  std::vector<BYTE> message_;
  std::vector<BYTE> content_;
};

// Windows enumerates a memory store in the order the certificates were
// added; Wine's newest first. So under Wine the first pinned certificate is
// tried second.
bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(AuthenticateSignedBlobTest, FirstPinnedSignerVerifies) {
  EXPECT_EQ(Check(L"pub1.p7"), 1);
  if (UnderWine()) {
    EXPECT_EQ(Numbers(), (std::vector<USHORT>{11, 13, 15, 17, 18, 20, 25, 25, 30, 28}));
  } else {
    EXPECT_EQ(Numbers(), (std::vector<USHORT>{11, 13, 15, 17, 18, 20, 25, 25, 28}));
  }
  const std::string xml = ReadText(FixturePath(L"good.xml"));
  // The content plus one zero byte.
  ASSERT_EQ(content_.size(), xml.size() + 1);
  EXPECT_EQ(content_.back(), 0);
  EXPECT_EQ(ContentText(), xml);
  for (const auto& r : recorder_.records()) {
    if (r.number == 17) {
      EXPECT_EQ(r.Value(0), xml.size());
    }
    if (r.number == 18) {
      EXPECT_EQ(r.Narrow(0), xml);
    }
  }
}

TEST_F(AuthenticateSignedBlobTest, SecondPinnedSignerVerifies) {
  EXPECT_EQ(Check(L"pub2.p7"), 1);
  const auto n = Numbers();
  const std::vector<USHORT> tail = UnderWine() ? std::vector<USHORT>{25, 28} : std::vector<USHORT>{30, 28};
  EXPECT_EQ(std::vector<USHORT>(n.end() - 2, n.end()), tail);
}

TEST_F(AuthenticateSignedBlobTest, UnpinnedSignerIsRefused) {
  EXPECT_EQ(Check(L"unpinned.p7"), 0);
  auto n = Numbers();
  EXPECT_EQ(std::count(n.begin(), n.end(), 30), 2);
  // The content is there whatever the verdict; callers act on the result.
  EXPECT_EQ(ContentText(), ReadText(FixturePath(L"good.xml")));
}

// A pinned signature over content that is not plain data is no
// configuration; a code signature's content is accepted only as such.
TEST_F(AuthenticateSignedBlobTest, ContentTypeMustFitTheUse) {
  EXPECT_EQ(Check(L"pub1_typed.p7"), 0);
  auto n = Numbers();
  EXPECT_EQ(n.back(), 32);
  EXPECT_EQ(std::count(n.begin(), n.end(), 28), 0);
  EXPECT_EQ(Check(L"pub1_typed.p7", nullptr, nullptr, nullptr, SignedContent::kCodeSignature), 1);
  recorder_.Clear();
  EXPECT_EQ(Check(L"pub1.p7", nullptr, nullptr, nullptr, SignedContent::kCodeSignature), 0);
  EXPECT_EQ(Numbers().back(), 32);
}

// Wine's crypt32 accepts a signed message whose content was changed after
// signing (it does not compare the messageDigest attribute); Windows
// refuses it. The check compares the digests itself, so both refuse.
TEST_F(AuthenticateSignedBlobTest, TamperedContentFailsBothAttempts) {
  EXPECT_EQ(Check(L"pub1_tampered.p7"), 0);
  const auto n = Numbers();
  EXPECT_EQ(std::count(n.begin(), n.end(), 30), 2);
  EXPECT_EQ(std::count(n.begin(), n.end(), 28), 0);
  EXPECT_NE(ContentText().find("mgmt.examp1e.test"), std::string::npos);
}

TEST_F(AuthenticateSignedBlobTest, SignerWithoutSignedAttributes) {
  EXPECT_EQ(Check(L"pub1_noattr.p7"), 1);
  EXPECT_EQ(Check(L"pub1_noattr_tampered.p7"), 0);
}

TEST_F(AuthenticateSignedBlobTest, UnreadableMessagesGiveZero) {
  EXPECT_EQ(Check(L"notpkcs7.bin"), 0);
  EXPECT_EQ(Numbers().back(), 14);
  recorder_.Clear();
  EXPECT_EQ(Check(L"nosigner.p7"), 0);
  EXPECT_EQ(Numbers().back(), 21);
  // The content was read before the signer was looked for.
  EXPECT_EQ(ContentText(), ReadText(FixturePath(L"good.xml")));
}

TEST_F(AuthenticateSignedBlobTest, CorruptedPinnedCertificatesMakeNoAttempt) {
  std::string broken1 = pem1_, broken2 = pem2_;
  broken1[40] = '!';
  broken2.replace(100, 30, "");
  EXPECT_EQ(Check(L"pub1.p7", nullptr, broken1.c_str(), broken2.c_str()), 0);
  const auto n = Numbers();
  EXPECT_EQ(std::count(n.begin(), n.end(), 25), 0);
  EXPECT_EQ(std::count(n.begin(), n.end(), 28) + std::count(n.begin(), n.end(), 30), 0);
  EXPECT_EQ(std::count_if(n.begin(), n.end(), [](USHORT x) { return x == 23 || x == 24 || x == 26; }), 2);
}

class CertificateContext {
 public:
  explicit CertificateContext(const std::wstring& pemPath) {
    const std::string pem = ReadText(pemPath);
    DWORD size = 0;
    CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr);
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
    context_ = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
  }
  ~CertificateContext() {
    if (context_ != nullptr) CertFreeCertificateContext(context_);
  }
  CertificateContext(const CertificateContext&) = delete;
  CertificateContext& operator=(const CertificateContext&) = delete;
  PCCERT_CONTEXT get() const { return context_; }

 private:
  PCCERT_CONTEXT context_ = nullptr;
};

// The server check: the caller's certificate must carry a pinned key and
// that key must have signed this configuration.
TEST_F(AuthenticateSignedBlobTest, CallerGivenCertificate) {
  CertificateContext own(FixturePath(L"publisher1.pem"));
  ASSERT_NE(own.get(), nullptr);
  EXPECT_EQ(Check(L"pub1.p7", own.get()), 1);
  auto n = Numbers();
  EXPECT_EQ(std::vector<USHORT>(n.end() - 2, n.end()), (std::vector<USHORT>{28, 29}));

  // The other pinned certificate did not sign it.
  CertificateContext other(FixturePath(L"publisher2.pem"));
  recorder_.Clear();
  EXPECT_EQ(Check(L"pub1.p7", other.get()), 0);
  n = Numbers();
  EXPECT_EQ(std::count(n.begin(), n.end(), 30), 2);
  EXPECT_EQ(std::count(n.begin(), n.end(), 29), 0);

  // An unpinned key that did sign the message.
  CertificateContext unpinned(FixturePath(L"unpinned.pem"));
  recorder_.Clear();
  EXPECT_EQ(Check(L"unpinned.p7", unpinned.get()), 0);
  n = Numbers();
  EXPECT_EQ(std::count(n.begin(), n.end(), 30), 2);
  EXPECT_EQ(std::count(n.begin(), n.end(), 28), 0);
}

TEST_F(AuthenticateSignedBlobTest, EmptyContentGivesOneZeroByte) {
  content_ = {7, 7, 7};
  EXPECT_EQ(Check(L"empty.p7"), 1);
  EXPECT_EQ(content_, std::vector<BYTE>{0});
}

TEST_F(AuthenticateSignedBlobTest, BuiltInPinsAreTheConfiguredCertificates) {
  for (const wchar_t* name : {L"pub1.p7", L"pub2.p7"}) {
    message_ = ReadBytes(FixturePath(name));
    const CRYPT_DATA_BLOB blob = {static_cast<DWORD>(message_.size()), message_.data()};
    EXPECT_EQ(AuthenticateSignedBlob(blob, content_, nullptr, SignedContent::kConfiguration), 1) << name;
  }
  message_ = ReadBytes(FixturePath(L"unpinned.p7"));
  const CRYPT_DATA_BLOB blob = {static_cast<DWORD>(message_.size()), message_.data()};
  EXPECT_EQ(AuthenticateSignedBlob(blob, content_, nullptr, SignedContent::kConfiguration), 0);
}

}  // namespace
