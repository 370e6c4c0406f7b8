#include "Src/Httphelper/proxy_selector.h"

#include <vector>

#include "Src/Httphelper/proxy_list.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"

namespace bastion {

namespace {

void FreeString(wchar_t* text) {
  if (text != nullptr) GlobalFree(text);
}

bool HasText(const wchar_t* text) { return text != nullptr && *text != L'\0'; }

bool Whole(const ProxyEntryPoints& slots) {
  return slots.closeHandle != nullptr && slots.setOption != nullptr && slots.setStatusCallback != nullptr &&
         slots.getProxyForUrl != nullptr && slots.getIEProxyConfigForCurrentUser != nullptr;
}

}  // namespace

LoggedOnUserImpersonation::LoggedOnUserImpersonation() : wtsapi_(L"Wtsapi32.dll") {
  trace::Message(ImpersonationTrace::kSessionLibraryLoaded, trace::kComponents);
  bool bound = BindExport(wtsapi_, "WTSEnumerateSessionsW", enumerateSessions_);
  bound = BindExport(wtsapi_, "WTSFreeMemory", freeMemory_) && bound;
  bound = BindExport(wtsapi_, "WTSQueryUserToken", queryUserToken_) && bound;
  if (!bound) return;

  trace::Message(ImpersonationTrace::kEnumeratingSessions, trace::kComponents);
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  if (!enumerateSessions_(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
    trace::Message(ImpersonationTrace::kEnumerationFailed, trace::kComponents, GetLastError());
    return;
  }
  std::vector<SessionEntry> entries;
  for (DWORD i = 0; i < count; ++i)
    entries.push_back({sessions[i].SessionId, static_cast<uint32_t>(sessions[i].State)});
  freeMemory_(sessions);
  ULONG session = ChooseSession(entries.data(), entries.size());
  trace::Message(ImpersonationTrace::kSessionChosen, trace::kComponents);

  if (!queryUserToken_(session, userToken_.Receive())) {
    userToken_.Release();
    trace::Message(ImpersonationTrace::kUserTokenNotObtained, trace::kComponents, GetLastError());
    return;
  }
  if (!DuplicateTokenEx(userToken_.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                        TokenImpersonation, impersonationToken_.Receive())) {
    impersonationToken_.Release();
    trace::Message(ImpersonationTrace::kTokenNotDuplicated, trace::kComponents, GetLastError());
    return;
  }
  if (ImpersonateLoggedOnUser(impersonationToken_.Get())) {
    impersonating_ = true;
    trace::Message(ImpersonationTrace::kImpersonating, trace::kComponents);
  } else {
    trace::Message(ImpersonationTrace::kImpersonationFailed, trace::kComponents, GetLastError());
  }
}

LoggedOnUserImpersonation::~LoggedOnUserImpersonation() {
  // A thread that could not revert may still be acting through the tokens,
  // so they are released only after a successful revert; otherwise they are
  // let go unclosed.
  if (!RevertToSelf()) {
    impersonationToken_.Release();
    userToken_.Release();
  }
}

ProxyEntryPoints& ProxySlots() {
  static ProxyEntryPoints slots{};
  return slots;
}

ProxySelector::ProxySelector() : winhttp_(L"WINHTTP.dll") {
  ProxyEntryPoints bound{};
  bool all = BindExport(winhttp_, "WinHttpCloseHandle", bound.closeHandle);
  all = BindExport(winhttp_, "WinHttpSetOption", bound.setOption) && all;
  all = BindExport(winhttp_, "WinHttpSetStatusCallback", bound.setStatusCallback) && all;
  all = BindExport(winhttp_, "WinHttpGetProxyForUrl", bound.getProxyForUrl) && all;
  all = BindExport(winhttp_, "WinHttpGetIEProxyConfigForCurrentUser", bound.getIEProxyConfigForCurrentUser) && all;
  ProxySlots() = all ? bound : ProxyEntryPoints{};
}

ProxySelector::~ProxySelector() {
  FreeString(proxyList_);
  FreeString(bypassList_);
}

DWORD ProxySelector::Resolve(HINTERNET handle, const wchar_t* url) {
  if (resolved_) return ERROR_INVALID_OPERATION;
  ProxyEntryPoints& slots = ProxySlots();
  if (!Whole(slots)) return ERROR_PROC_NOT_FOUND;

  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!slots.getIEProxyConfigForCurrentUser(&config)) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return error;
    // A user who never had proxy settings: detection only.
    config = {};
    config.fAutoDetect = TRUE;
  }

  DWORD result = 0;
  bool decided = false;
  const wchar_t* configUrl = config.lpszAutoConfigUrl;
  if (config.fAutoDetect) {
    wchar_t* list = nullptr;
    wchar_t* bypass = nullptr;
    result = LookUp(handle, url, nullptr, &list, &bypass);
    if (result == 0) {
      Commit(true, list, bypass);
      decided = true;
    } else if (!IsRecoverableAutoProxyError(result)) {
      decided = true;  // the resolution ends with that error
    }
  }
  if (!decided && HasText(configUrl)) {
    wchar_t* list = nullptr;
    wchar_t* bypass = nullptr;
    result = LookUp(handle, url, configUrl, &list, &bypass);
    if (result == 0) {
      Commit(true, list, bypass);
      decided = true;
    } else if (!IsRecoverableAutoProxyError(result)) {
      decided = true;
    }
  }
  if (!decided) {
    Commit(false, config.lpszProxy, config.lpszProxyBypass);
    config.lpszProxy = nullptr;
    config.lpszProxyBypass = nullptr;
    result = 0;
  }
  FreeString(config.lpszAutoConfigUrl);
  FreeString(config.lpszProxy);
  FreeString(config.lpszProxyBypass);
  return result;
}

DWORD ProxySelector::LookUp(HINTERNET handle, const wchar_t* url, const wchar_t* configUrl,
                            wchar_t** proxyList, wchar_t** bypassList) {
  ProxyEntryPoints& slots = ProxySlots();
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (configUrl != nullptr) {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = configUrl;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  options.fAutoLogonIfChallenged = FALSE;

  WINHTTP_PROXY_INFO info{};
  BOOL found = slots.getProxyForUrl(handle, url, &options, &info);
  DWORD error = found ? 0 : GetLastError();
  if (!found && error == ERROR_WINHTTP_LOGIN_FAILURE) {
    FreeString(info.lpszProxy);
    FreeString(info.lpszProxyBypass);
    info = {};
    options.fAutoLogonIfChallenged = TRUE;
    found = slots.getProxyForUrl(handle, url, &options, &info);
    error = found ? 0 : GetLastError();
  }
  if (!found) {
    FreeString(info.lpszProxy);
    FreeString(info.lpszProxyBypass);
    return error;
  }
  *proxyList = info.lpszProxy;
  *bypassList = info.lpszProxyBypass;
  return 0;
}

void ProxySelector::Commit(bool failOverAllowed, wchar_t* proxyList, wchar_t* bypassList) {
  failOverAllowed_ = failOverAllowed;
  // An empty list names no proxy: it is direct access like an absent one.
  if (proxyList != nullptr && *proxyList == L'\0') {
    FreeString(proxyList);
    proxyList = nullptr;
  }
  accessType_ = proxyList != nullptr ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY;
  proxyList_ = proxyList;
  bypassList_ = bypassList;
  resolved_ = true;
}

DWORD ProxySelector::ApplyNextProxy(HINTERNET request, DWORD requestError) {
  if (!resolved_) return ERROR_INVALID_OPERATION;
  if (!firstApplied_) {
    firstApplied_ = true;
    return Apply(request, proxyList_);
  }
  if (listExhausted_ || !failOverAllowed_ || proxyList_ == nullptr ||
      !AllowsProxyFailOver(requestError))
    return ERROR_NO_MORE_ITEMS;
  const wchar_t* next = NextProxyEntry(cursor_);
  if (next == nullptr) {
    listExhausted_ = true;
    return ERROR_NO_MORE_ITEMS;
  }
  return Apply(request, next);
}

DWORD ProxySelector::Apply(HINTERNET request, const wchar_t* entry) {
  ProxyEntryPoints& slots = ProxySlots();
  if (!Whole(slots)) return ERROR_PROC_NOT_FOUND;
  WINHTTP_PROXY_INFO info{accessType_, const_cast<wchar_t*>(entry), bypassList_};
  if (!slots.setOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info))) return GetLastError();
  cursor_ = entry;
  return 0;
}

}  // namespace bastion
