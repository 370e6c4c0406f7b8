// BastionSetup.exe -v on stubs stamped by bastion_stamp, against what the
// tool's `show` printed for them.
#include <gtest/gtest.h>

#include "Src/VTDropper/config_blob.h"
#include "verification/der.h"
#include "win/process_runner.h"
#include "win/trust_fixtures.h"

using namespace bastion;

namespace {

// stderr is in the runtime's text mode, which writes each "\n" as CR LF.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

ProcessResult RunVerify(const std::wstring& exe) {
  return RunProcess(L"\"" + exe + L"\" -v");
}

size_t Count(const std::vector<BYTE>& bytes, const std::string& needle) {
  size_t n = 0;
  auto at = bytes.begin();
  while ((at = std::search(at, bytes.end(), needle.begin(), needle.end())) != bytes.end()) {
    ++n;
    ++at;
  }
  return n;
}

TEST(VerifyModeTest, StampedStubPrintsWhatTheToolShows) {
  const std::string shown = ReadText(FixturePath(L"stamped.show"));
  ASSERT_NE(shown.find("Config Dat:\n"), std::string::npos);
  ProcessResult r = RunVerify(FixturePath(L"stamped.exe"));
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.err, WithCrLf(shown));
  // Non-ASCII bytes of AG_CONFIG reach the output unchanged.
  EXPECT_NE(r.err.find("Z\xC3\xBCrich \xC3\x98st \xE2\x98\x83"), std::string::npos);
}

TEST(VerifyModeTest, UrlWithOneSlashCannotBeSplit) {
  ProcessResult r = RunVerify(FixturePath(L"oneslash.exe"));
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "Failed to parse internal data!\r\n");
}

TEST(VerifyModeTest, UnconfiguredStubFailsAuthentication) {
  ProcessResult r = RunVerify(ProductPath());
  EXPECT_EQ(r.exitCode, 1603u) << "a failed run is never reported as success";
  EXPECT_EQ(r.err, "Failed to authenticate BastionSetup!\r\n");
}

TEST(VerifyModeTest, UnpinnedSignerFailsAuthentication) {
  ProcessResult r = RunVerify(FixturePath(L"unpinned.exe"));
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "Failed to authenticate BastionSetup!\r\n");
}

TEST(VerifyModeTest, MissingEndMarkerFailsParsing) {
  // The blob lies outside what the code signature covers, so the file still
  // passes the self-check.
  std::vector<BYTE> bytes = ReadBytes(FixturePath(L"stamped.exe"));
  const std::string end = EndMarker();
  auto at = std::search(bytes.begin(), bytes.end(), end.begin(), end.end());
  ASSERT_NE(at, bytes.end());
  at[3] = 'X';
  const std::wstring noEnd = FixturePath(L"no_end_marker.exe");
  ASSERT_TRUE(WriteBytes(noEnd, bytes));
  ProcessResult r = RunVerify(noEnd);
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "Failed to parse configuration data!\r\n");
  DeleteFileW(noEnd.c_str());
}

TEST(VerifyModeTest, AlteredCodeFailsTheSelfCheck) {
  std::vector<BYTE> bytes = ReadBytes(FixturePath(L"stamped.exe"));
  // The code section's padding: the signature's digest covers it like the
  // code, but it never runs, so the change cannot crash the run before the
  // self-check sees it.
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes.data() + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* code = IMAGE_FIRST_SECTION(nt);
  ASSERT_LT(code->Misc.VirtualSize, code->SizeOfRawData);
  bytes[code->PointerToRawData + code->Misc.VirtualSize] ^= 0xFF;
  const std::wstring altered = FixturePath(L"altered_stub.exe");
  ASSERT_TRUE(WriteBytes(altered, bytes));
  ProcessResult r = RunVerify(altered);
  EXPECT_EQ(r.exitCode, 1603u);
  EXPECT_EQ(r.err, "Failed to initialize Bastion Setup!\r\n");
  DeleteFileW(altered.c_str());
}

// The same text from a system that cannot restrict library loading
// (KB2533623 missing) ends with 1, not 1603.
TEST(VerifyModeTest, UnsupportedSystemFailsToInitializeWithOne) {
  ProcessResult r = RunProcess(L"\"" + TestDirectory() + L"\\entry_probe.exe\" unsupported");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(r.err, "Failed to initialize Bastion Setup!\r\n");
}

TEST(ProductFileTest, MarkersOccurOnlyInTheUnconfiguredBlob) {
  const std::vector<BYTE> product = ReadBytes(ProductPath());
  EXPECT_EQ(Count(product, BeginMarker()), 1u);
  EXPECT_EQ(Count(product, EndMarker()), 1u);
  const auto bounds = LocateBlob(product.data(), product.size());
  ASSERT_TRUE(bounds);
  EXPECT_EQ(bounds->length, kUnconfiguredFillerLength);
  EXPECT_TRUE(std::all_of(product.begin() + bounds->offset,
                          product.begin() + bounds->offset + bounds->length,
                          [](BYTE b) { return b == ' '; }));

  // Inside the code signature's DER (its carrier certificate), which fills
  // the one entry but for zero padding to 8.
  const auto table = ReadCertificateTable(product.data(), product.size());
  ASSERT_TRUE(table);
  const auto signature = ReadSingleSignature(product.data(), product.size(), *table);
  ASSERT_TRUE(signature);
  const size_t derEnd = signature->signatureOffset + signature->signatureSize;
  EXPECT_GT(bounds->offset, signature->signatureOffset);
  EXPECT_LT(bounds->offset + bounds->length + kEndMarkerLength, derEnd);
  EXPECT_LT(product.size() - derEnd, 8u);
  EXPECT_EQ(product.size() % 8, 0u);
}

TEST(ProductFileTest, TheTestBinaryHoldsNoMarkerEither) {
  // The same code is linked into the tests; a full marker in it would mean
  // the marker texts are stored whole somewhere.
  const std::vector<BYTE> tests = ReadBytes(TestDirectory() + L"\\bastion_tests.exe");
  EXPECT_EQ(Count(tests, BeginMarker()), 0u);
  EXPECT_EQ(Count(tests, EndMarker()), 0u);
}

TEST(ProductFileTest, ChecksumIsTheLoadersOwn) {
  for (const wchar_t* name : {L"stamped.exe", L"unpinned.exe"}) {
    std::vector<BYTE> bytes = ReadBytes(FixturePath(name));
    const auto table = ReadCertificateTable(bytes.data(), bytes.size());
    ASSERT_TRUE(table);
    DWORD header = 0, computed = 0;
    HMODULE imagehlp = LoadLibraryW(L"imagehlp.dll");
    ASSERT_NE(imagehlp, nullptr);
    using CheckSumFn = PIMAGE_NT_HEADERS WINAPI(PVOID, DWORD, PDWORD, PDWORD);
    auto* checkSum = reinterpret_cast<CheckSumFn*>(
        reinterpret_cast<void*>(GetProcAddress(imagehlp, "CheckSumMappedFile")));
    ASSERT_NE(checkSum, nullptr);
    checkSum(bytes.data(), static_cast<DWORD>(bytes.size()), &header, &computed);
    EXPECT_EQ(header, computed) << name;
    EXPECT_NE(header, 0u);
    FreeLibrary(imagehlp);
  }
}

}  // namespace
