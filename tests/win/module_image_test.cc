// Mapping our own file, with its self-integrity check and the publisher
// fallback behind it.
#include "Src/VTDropper/module_image.h"

#include <gtest/gtest.h>

#include <string>

#include "win/process_runner.h"
#include "win/trace_recorder.h"
#include "win/trust_fixtures.h"

using namespace bastion;

namespace {

TEST(ModuleImageTest, MapsASignedFileWhole) {
  TraceRecorder recorder;
  ModuleImage image;
  const uint8_t* view = nullptr;
  uint32_t size = 0;
  bool fallback = false;
  ASSERT_TRUE(image.OpenPath(FixturePath(L"stamped.exe").c_str(), view, size, fallback).ok);
  const auto bytes = ReadBytes(FixturePath(L"stamped.exe"));
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ(memcmp(view, bytes.data(), bytes.size()), 0);
  EXPECT_FALSE(fallback);
  EXPECT_EQ(recorder.Named<ModuleImageTrace>(), std::vector{ModuleImageTrace::kMapped});
  image.Close();
  // Closed: the file can be replaced again.
  HANDLE h = CreateFileW(FixturePath(L"stamped.exe").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

TEST(ModuleImageTest, UnsignedFileIsRefused) {
  TraceRecorder recorder;
  ModuleImage image;
  const uint8_t* view = nullptr;
  uint32_t size = 0;
  bool fallback = false;
  const std::wstring tests = TestDirectory() + L"\\bastion_tests.exe";
  const ModuleImageResult result = image.OpenPath(tests.c_str(), view, size, fallback);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(static_cast<HRESULT>(result.error), TRUST_E_NOSIGNATURE);
  EXPECT_EQ(view, nullptr);
  EXPECT_FALSE(fallback);
  EXPECT_EQ(recorder.Named<ModuleImageTrace>(), std::vector{ModuleImageTrace::kSignatureRefused});
}

// A name that misses the file fails with the system's error and creates
// nothing.
TEST(ModuleImageTest, MissingFileFailsWithItsErrorAndIsNotCreated) {
  ModuleImage image;
  const uint8_t* view = nullptr;
  uint32_t size = 0;
  bool fallback = false;
  const std::wstring missing = FixturePath(L"no-such-image.exe");
  const ModuleImageResult result = image.OpenPath(missing.c_str(), view, size, fallback);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Wine's WinVerifyTrust accepts untrusted roots, so the fallback is reached
// here only by handing it the status Windows gives for them.
TEST(PublisherSignatureTest, PinnedPublisherSignatureQualifiesOnlyAfterAChainRefusal) {
  const auto publisherSigned = ReadBytes(FixturePath(L"publisher_signed.exe"));
  ASSERT_FALSE(publisherSigned.empty());
  EXPECT_TRUE(PublisherSignatureAccepted(CERT_E_UNTRUSTEDROOT, publisherSigned.data(),
                                         publisherSigned.size()));
  for (HRESULT status : {TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST, TRUST_E_SUBJECT_NOT_TRUSTED,
                         static_cast<HRESULT>(0)}) {
    EXPECT_FALSE(PublisherSignatureAccepted(status, publisherSigned.data(), publisherSigned.size()))
        << std::hex << status;
  }
}

TEST(PublisherSignatureTest, ForeignOrMissingSignatureNeverQualifies) {
  // The product is signed by the code-signing chain, which is not pinned.
  const auto product = ReadBytes(ProductPath());
  EXPECT_FALSE(PublisherSignatureAccepted(CERT_E_UNTRUSTEDROOT, product.data(), product.size()));
  const auto tests = ReadBytes(TestDirectory() + L"\\bastion_tests.exe");
  EXPECT_FALSE(PublisherSignatureAccepted(CERT_E_UNTRUSTEDROOT, tests.data(), tests.size()));
  const auto text = ReadBytes(FixturePath(L"good.xml"));
  EXPECT_FALSE(PublisherSignatureAccepted(CERT_E_UNTRUSTEDROOT, text.data(), text.size()));
}

}  // namespace
