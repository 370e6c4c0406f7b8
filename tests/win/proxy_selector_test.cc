// Wine ignores WINHTTP_OPTION_PROXY and has no proxy services worth the
// name, so the selector is tested against fake WinHTTP entry points put into
// its process-wide slots.
#include "Src/Httphelper/proxy_selector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/trace_recorder.h"

using namespace bastion;

namespace {

wchar_t* GlobalText(const wchar_t* text) {
  if (text == nullptr) return nullptr;
  size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(GlobalAlloc(GMEM_FIXED, bytes));
  memcpy(copy, text, bytes);
  return copy;
}

struct LookupAnswer {
  DWORD error = 0;  // 0: success with the lists below
  const wchar_t* proxy = nullptr;
  const wchar_t* bypass = nullptr;
};

struct LookupCall {
  DWORD flags;
  DWORD autoDetectFlags;
  std::wstring configUrl;
  BOOL autoLogon;
  std::wstring url;
  HINTERNET handle;
};

struct AppliedSetting {
  HINTERNET request;
  DWORD option;
  DWORD accessType;
  std::wstring proxy;  // "<none>" when absent
  std::wstring bypass;
  DWORD size;
};

// What the fakes answer, and what they were asked.
struct Script {
  DWORD configError = 0;
  BOOL autoDetect = FALSE;
  const wchar_t* configUrl = nullptr;
  const wchar_t* staticProxy = nullptr;
  const wchar_t* staticBypass = nullptr;
  std::vector<LookupAnswer> answers;
  DWORD setOptionError = 0;
  std::vector<LookupCall> lookups;
  std::vector<AppliedSetting> applied;
};
Script* g_script = nullptr;

BOOL WINAPI FakeGetIEProxyConfig(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* config) {
  if (g_script->configError != 0) {
    SetLastError(g_script->configError);
    return FALSE;
  }
  config->fAutoDetect = g_script->autoDetect;
  config->lpszAutoConfigUrl = GlobalText(g_script->configUrl);
  config->lpszProxy = GlobalText(g_script->staticProxy);
  config->lpszProxyBypass = GlobalText(g_script->staticBypass);
  return TRUE;
}

BOOL WINAPI FakeGetProxyForUrl(HINTERNET handle, LPCWSTR url, WINHTTP_AUTOPROXY_OPTIONS* options,
                               WINHTTP_PROXY_INFO* info) {
  g_script->lookups.push_back({options->dwFlags, options->dwAutoDetectFlags,
                               options->lpszAutoConfigUrl ? options->lpszAutoConfigUrl : L"",
                               options->fAutoLogonIfChallenged, url ? url : L"<none>", handle});
  size_t i = g_script->lookups.size() - 1;
  if (i >= g_script->answers.size()) {
    SetLastError(ERROR_WINHTTP_AUTODETECTION_FAILED);
    return FALSE;
  }
  const LookupAnswer& a = g_script->answers[i];
  if (a.error != 0) {
    SetLastError(a.error);
    return FALSE;
  }
  info->dwAccessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;  // not to be used
  info->lpszProxy = GlobalText(a.proxy);
  info->lpszProxyBypass = GlobalText(a.bypass);
  return TRUE;
}

BOOL WINAPI FakeSetOption(HINTERNET request, DWORD option, void* buffer, DWORD size) {
  const auto* info = static_cast<const WINHTTP_PROXY_INFO*>(buffer);
  g_script->applied.push_back({request, option, info->dwAccessType,
                               info->lpszProxy ? info->lpszProxy : L"<none>",
                               info->lpszProxyBypass ? info->lpszProxyBypass : L"<none>", size});
  if (g_script->setOptionError != 0) {
    SetLastError(g_script->setOptionError);
    return FALSE;
  }
  return TRUE;
}

class ProxySelectorTest : public ::testing::Test {
 protected:
  void SetUp() override { g_script = &script_; }
  void TearDown() override { g_script = nullptr; }

  // A selector whose slots, rebound at its construction, then get the fakes.
  std::unique_ptr<ProxySelector> MakeSelector() {
    auto selector = std::make_unique<ProxySelector>();
    ProxyEntryPoints& slots = ProxySlots();
    EXPECT_NE(slots.getProxyForUrl, nullptr);  // the real ones were bound
    slots.getIEProxyConfigForCurrentUser = FakeGetIEProxyConfig;
    slots.getProxyForUrl = FakeGetProxyForUrl;
    slots.setOption = FakeSetOption;
    return selector;
  }

  Script script_;
  HINTERNET session_ = reinterpret_cast<HINTERNET>(0x1000);
  HINTERNET request_ = reinterpret_cast<HINTERNET>(0x2000);
};

TEST_F(ProxySelectorTest, ASetWithAnEntryPointMissingIsNotUsedAtAll) {
  script_.configError = ERROR_ACCESS_DENIED;  // the answer, were the settings read
  script_.autoDetect = TRUE;
  auto selector = MakeSelector();
  ProxySlots().setStatusCallback = nullptr;
  EXPECT_EQ(selector->Resolve(session_, nullptr), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(script_.lookups.empty());
  EXPECT_EQ(selector->ApplyNextProxy(request_, 0), static_cast<DWORD>(ERROR_INVALID_OPERATION));
  EXPECT_TRUE(script_.applied.empty());
}

TEST_F(ProxySelectorTest, RecoverableFailuresFallFromDetectionToScriptToStaticSettings) {
  script_.autoDetect = TRUE;
  script_.configUrl = L"http://wpad/proxy.pac";
  script_.staticProxy = L"static:8080;other:8080";
  script_.staticBypass = L"<local>";
  script_.answers = {{ERROR_WINHTTP_AUTODETECTION_FAILED}, {ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT}};
  auto selector = MakeSelector();
  ASSERT_EQ(selector->Resolve(session_, L"https://server/x"), 0u);

  ASSERT_EQ(script_.lookups.size(), 2u);
  EXPECT_EQ(script_.lookups[0].flags, static_cast<DWORD>(WINHTTP_AUTOPROXY_AUTO_DETECT));
  EXPECT_EQ(script_.lookups[0].autoDetectFlags, 3u);
  EXPECT_EQ(script_.lookups[0].autoLogon, FALSE);
  EXPECT_EQ(script_.lookups[0].handle, session_);
  EXPECT_EQ(script_.lookups[0].url, L"https://server/x");
  EXPECT_EQ(script_.lookups[1].url, L"https://server/x");
  EXPECT_EQ(script_.lookups[1].flags, static_cast<DWORD>(WINHTTP_AUTOPROXY_CONFIG_URL));
  EXPECT_EQ(script_.lookups[1].configUrl, L"http://wpad/proxy.pac");

  EXPECT_FALSE(selector->failOverAllowed());
  EXPECT_EQ(selector->accessType(), static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
  ASSERT_EQ(selector->ApplyNextProxy(request_, 0), 0u);
  ASSERT_EQ(script_.applied.size(), 1u);
  EXPECT_EQ(script_.applied[0].request, request_);
  EXPECT_EQ(script_.applied[0].option, static_cast<DWORD>(WINHTTP_OPTION_PROXY));
  EXPECT_EQ(script_.applied[0].size, sizeof(WINHTTP_PROXY_INFO));
  EXPECT_EQ(script_.applied[0].proxy, L"static:8080;other:8080");
  EXPECT_EQ(script_.applied[0].bypass, L"<local>");
  // Static settings never fail over, even with entries left.
  EXPECT_EQ(selector->ApplyNextProxy(request_, ERROR_WINHTTP_CANNOT_CONNECT),
            static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(script_.applied.size(), 1u);
}

TEST_F(ProxySelectorTest, AnErrorOutsideTheRecoverableSetEndsTheResolution) {
  script_.autoDetect = TRUE;
  script_.configUrl = L"http://wpad/proxy.pac";
  script_.staticProxy = L"static:8080";
  script_.answers = {{ERROR_WINHTTP_NAME_NOT_RESOLVED}};
  auto selector = MakeSelector();
  EXPECT_EQ(selector->Resolve(session_, nullptr), static_cast<DWORD>(ERROR_WINHTTP_NAME_NOT_RESOLVED));
  EXPECT_EQ(script_.lookups.size(), 1u);  // the script is not tried
  EXPECT_EQ(selector->ApplyNextProxy(request_, 0), static_cast<DWORD>(ERROR_INVALID_OPERATION));
  EXPECT_TRUE(script_.applied.empty());
}

TEST_F(ProxySelectorTest, UserWithoutSettingsGetsDetectionOnlyThenDirectAccess) {
  script_.configError = ERROR_FILE_NOT_FOUND;
  auto selector = MakeSelector();
  ASSERT_EQ(selector->Resolve(session_, nullptr), 0u);
  ASSERT_EQ(script_.lookups.size(), 1u);
  EXPECT_EQ(script_.lookups[0].flags, static_cast<DWORD>(WINHTTP_AUTOPROXY_AUTO_DETECT));
  EXPECT_EQ(selector->accessType(), static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY));
  ASSERT_EQ(selector->ApplyNextProxy(request_, 0), 0u);
  EXPECT_EQ(script_.applied[0].accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY));
  EXPECT_EQ(script_.applied[0].proxy, L"<none>");
  EXPECT_EQ(selector->ApplyNextProxy(request_, ERROR_WINHTTP_CANNOT_CONNECT),
            static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST_F(ProxySelectorTest, OtherConfigurationErrorsAreAnswered) {
  script_.configError = ERROR_ACCESS_DENIED;
  auto selector = MakeSelector();
  EXPECT_EQ(selector->Resolve(session_, nullptr), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(script_.lookups.empty());
  EXPECT_EQ(selector->ApplyNextProxy(request_, 0), static_cast<DWORD>(ERROR_INVALID_OPERATION));
}

TEST_F(ProxySelectorTest, LoginFailureIsAskedOnceMoreWithAutomaticLogon) {
  script_.autoDetect = TRUE;
  script_.answers = {{ERROR_WINHTTP_LOGIN_FAILURE}, {0, L"auth:80", nullptr}};
  auto selector = MakeSelector();
  ASSERT_EQ(selector->Resolve(session_, nullptr), 0u);
  ASSERT_EQ(script_.lookups.size(), 2u);
  EXPECT_EQ(script_.lookups[0].autoLogon, FALSE);
  EXPECT_EQ(script_.lookups[1].autoLogon, TRUE);
  EXPECT_EQ(script_.lookups[1].flags, static_cast<DWORD>(WINHTTP_AUTOPROXY_AUTO_DETECT));
  EXPECT_STREQ(selector->proxyList(), L"auth:80");
  EXPECT_TRUE(selector->failOverAllowed());
}

TEST_F(ProxySelectorTest, FailOverWalksTheDetectedList) {
  script_.autoDetect = TRUE;
  script_.answers = {{0, L"a:80; b:80;;c:80", L"*.local"}};
  auto selector = MakeSelector();
  ASSERT_EQ(selector->Resolve(session_, nullptr), 0u);
  EXPECT_EQ(selector->Resolve(session_, nullptr), static_cast<DWORD>(ERROR_INVALID_OPERATION));
  EXPECT_EQ(selector->ApplyNextProxy(request_, 0), 0u);
  EXPECT_EQ(selector->ApplyNextProxy(request_, ERROR_WINHTTP_CANNOT_CONNECT), 0u);
  EXPECT_EQ(selector->ApplyNextProxy(request_, ERROR_WINHTTP_TIMEOUT), 0u);
  EXPECT_EQ(selector->ApplyNextProxy(request_, ERROR_WINHTTP_NAME_NOT_RESOLVED),
            static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(selector->ApplyNextProxy(request_, ERROR_WINHTTP_CONNECTION_ERROR),
            static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  ASSERT_EQ(script_.applied.size(), 3u);
  EXPECT_EQ(script_.applied[0].proxy, L"a:80; b:80;;c:80");
  EXPECT_EQ(script_.applied[1].proxy, L"b:80;;c:80");
  EXPECT_EQ(script_.applied[2].proxy, L"c:80");
  for (const AppliedSetting& s : script_.applied) {
    EXPECT_EQ(s.accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
    EXPECT_EQ(s.bypass, L"*.local");
  }
}

TEST_F(ProxySelectorTest, ARequestErrorOutsideTheFailOverSetEndsTheAttempt) {
  script_.autoDetect = TRUE;
  script_.answers = {{0, L"a:80;b:80", nullptr}};
  auto selector = MakeSelector();
  ASSERT_EQ(selector->Resolve(session_, nullptr), 0u);
  ASSERT_EQ(selector->ApplyNextProxy(request_, 0), 0u);
  EXPECT_EQ(selector->ApplyNextProxy(request_, ERROR_WINHTTP_SECURE_FAILURE),
            static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(script_.applied.size(), 1u);
}

TEST_F(ProxySelectorTest, AFailedOptionCallIsAnsweredWithItsError) {
  script_.autoDetect = TRUE;
  script_.answers = {{0, L"a:80;b:80", nullptr}};
  script_.setOptionError = ERROR_INVALID_HANDLE;
  auto selector = MakeSelector();
  ASSERT_EQ(selector->Resolve(session_, nullptr), 0u);
  EXPECT_EQ(selector->ApplyNextProxy(request_, 0), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ProxySelectorTest, ScriptFoundProxyAllowsFailOverAndEmptyListMeansDirect) {
  script_.configUrl = L"http://wpad/proxy.pac";
  script_.answers = {{0, L"", nullptr}};
  auto selector = MakeSelector();
  ASSERT_EQ(selector->Resolve(session_, nullptr), 0u);
  ASSERT_EQ(script_.lookups.size(), 1u);
  EXPECT_EQ(script_.lookups[0].flags, static_cast<DWORD>(WINHTTP_AUTOPROXY_CONFIG_URL));
  EXPECT_TRUE(selector->failOverAllowed());
  EXPECT_EQ(selector->accessType(), static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NO_PROXY));
  EXPECT_EQ(selector->proxyList(), nullptr);
}

// The impersonation the resolution runs under, for real.
bool ThreadHasToken() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  CloseHandle(token);
  return true;
}

// Under Wine the session list is empty (so session 0 is chosen) and
// WTSQueryUserToken hands out the current user's token to anyone; on Windows
// an ordinary account stops at trace 14 instead. Either way the thread is
// back in its own context afterwards.
TEST(LoggedOnUserImpersonation, ActsAsTheSessionUserAndRevertsAtTheEnd) {
  TraceRecorder recorder;
  ASSERT_FALSE(ThreadHasToken());
  {
    LoggedOnUserImpersonation impersonation;
    EXPECT_EQ(ThreadHasToken(), impersonation.impersonating());
  }
  EXPECT_FALSE(ThreadHasToken());
  std::vector<ImpersonationTrace> messages = recorder.Named<ImpersonationTrace>();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages[0], ImpersonationTrace::kSessionLibraryLoaded);
  EXPECT_EQ(messages[1], ImpersonationTrace::kEnumeratingSessions);
  EXPECT_EQ(messages[2], ImpersonationTrace::kSessionChosen);
  if (messages.size() == 4) {
    EXPECT_TRUE(messages[3] >= ImpersonationTrace::kUserTokenNotObtained &&
                messages[3] <= ImpersonationTrace::kImpersonating)
        << messages[3];
  }
}

}  // namespace
