// HTTPHelper without a server: the TLS versions against a scripted
// WinHttpSetOption, and the certificate verdict against stand-in entry points.
#include "Src/Httphelper/http_helper.h"

#include <gtest/gtest.h>

#include <vector>

using namespace bastion;

namespace {

std::vector<DWORD> g_offered;
size_t g_refusals = 0;

BOOL WINAPI ScriptedSetOption(HINTERNET, DWORD option, LPVOID buffer, DWORD length) {
  EXPECT_EQ(option, static_cast<DWORD>(WINHTTP_OPTION_SECURE_PROTOCOLS));
  EXPECT_EQ(length, sizeof(DWORD));
  g_offered.push_back(*static_cast<DWORD*>(buffer));
  if (g_offered.size() > g_refusals) return TRUE;
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

std::vector<DWORD> Offered(size_t refusals, bool& accepted) {
  g_offered.clear();
  g_refusals = refusals;
  accepted = RestrictToModernTls(ScriptedSetOption, reinterpret_cast<HINTERNET>(1));
  return g_offered;
}

TEST(TlsVersionsTest, OneThreeWithOneTwoThenOneTwoAloneThenFailure) {
  constexpr DWORD kBoth = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  constexpr DWORD kTwo = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  bool accepted = false;
  EXPECT_EQ(Offered(0, accepted), (std::vector<DWORD>{kBoth}));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(Offered(1, accepted), (std::vector<DWORD>{kBoth, kTwo}));
  EXPECT_TRUE(accepted);
  EXPECT_EQ(Offered(2, accepted), (std::vector<DWORD>{kBoth, kTwo}));
  EXPECT_FALSE(accepted);
}

CERT_CONTEXT g_certificate = {};
int g_freed = 0;

BOOL WINAPI GivesCertificate(HINTERNET, DWORD option, LPVOID buffer, LPDWORD length) {
  EXPECT_EQ(option, static_cast<DWORD>(WINHTTP_OPTION_SERVER_CERT_CONTEXT));
  EXPECT_EQ(*length, sizeof(PCCERT_CONTEXT));
  *static_cast<PCCERT_CONTEXT*>(buffer) = &g_certificate;
  return TRUE;
}

BOOL WINAPI GivesNothing(HINTERNET, DWORD, LPVOID, LPDWORD) {
  SetLastError(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  return FALSE;
}

BOOL WINAPI Free(PCCERT_CONTEXT certificate) {
  EXPECT_EQ(certificate, &g_certificate);
  ++g_freed;
  return TRUE;
}

// The helper's own send has ended by the time it is constructed; its check
// stays the one the notifications consult.
TEST(CertificateVerdictTest, ANotificationWithoutACertificateWithdrawsAnEarlierAcceptance) {
  int checked = 0;
  HTTPHelper helper(L"localhost", L"/", [&checked](PCCERT_CONTEXT c) {
    ++checked;
    return c == &g_certificate;
  }, false);
  checked = 0;
  const HINTERNET request = reinterpret_cast<HINTERNET>(1);
  JudgeServerCertificate(GivesCertificate, Free, request);
  EXPECT_TRUE(helper.certificateAccepted());
  JudgeServerCertificate(GivesNothing, Free, request);
  EXPECT_FALSE(helper.certificateAccepted());
  JudgeServerCertificate(GivesCertificate, Free, request);
  JudgeServerCertificate(nullptr, nullptr, request);
  EXPECT_FALSE(helper.certificateAccepted());
  EXPECT_EQ(checked, 2);
  EXPECT_EQ(g_freed, 2);
}

}  // namespace
