// HTTPHelper without a server: the pinned mode's TLS versions against a
// scripted WinHttpSetOption.
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

}  // namespace
