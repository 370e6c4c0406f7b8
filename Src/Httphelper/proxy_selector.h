// Finds the proxy for a request from the Internet settings of the user of the
// active terminal session (automatic detection, then the configuration
// script, then the static settings) and hands out one proxy of the resulting
// list after another.
#ifndef BASTION_SRC_HTTPHELPER_PROXY_SELECTOR_H_
#define BASTION_SRC_HTTPHELPER_PROXY_SELECTOR_H_

#include <windows.h>

#include <winhttp.h>
#include <wtsapi32.h>

#include "platform/scoped_handle.h"
#include "platform/system_library.h"

namespace bastion {

// Makes the calling thread act as the user of the active terminal session for
// the life of the object. The session service grants that user's token only
// to LocalSystem; elsewhere the thread simply keeps its own context.
class LoggedOnUserImpersonation {
 public:
  LoggedOnUserImpersonation();
  ~LoggedOnUserImpersonation();
  LoggedOnUserImpersonation(const LoggedOnUserImpersonation&) = delete;
  LoggedOnUserImpersonation& operator=(const LoggedOnUserImpersonation&) = delete;

  bool impersonating() const { return impersonating_; }

 private:
  SystemLibrary wtsapi_;
  // Closed in the reverse order, impersonation token first.
  ScopedKernelHandle userToken_;
  ScopedKernelHandle impersonationToken_;
  decltype(WTSEnumerateSessionsW)* enumerateSessions_ = nullptr;
  decltype(WTSFreeMemory)* freeMemory_ = nullptr;
  decltype(WTSQueryUserToken)* queryUserToken_ = nullptr;
  bool impersonating_ = false;
};

// The WinHTTP entry points the selector calls. Process-wide: every selector
// rebinds them when it is made, all or none, and tests put fakes into them
// afterwards. The selector calls none of them unless all are there.
struct ProxyEntryPoints {
  decltype(WinHttpCloseHandle)* closeHandle;
  decltype(WinHttpSetOption)* setOption;
  decltype(WinHttpSetStatusCallback)* setStatusCallback;
  decltype(WinHttpGetProxyForUrl)* getProxyForUrl;
  decltype(WinHttpGetIEProxyConfigForCurrentUser)* getIEProxyConfigForCurrentUser;
};
ProxyEntryPoints& ProxySlots();

class ProxySelector {
 public:
  ProxySelector();
  ~ProxySelector();
  ProxySelector(const ProxySelector&) = delete;
  ProxySelector& operator=(const ProxySelector&) = delete;

  // Once per selector, while acting as the user whose settings count.
  // The automatic lookups run on the session `handle` for the request's `url`:
  // WinHTTP refuses a connection handle (12018), which would end every
  // resolution where automatic detection is on.
  // 0 on success, otherwise a system error code.
  DWORD Resolve(HINTERNET handle, const wchar_t* url);

  // Sets the next proxy on `request`. The first call applies the whole list;
  // later calls move on only after a request error that allows it.
  // 0 applied, ERROR_NO_MORE_ITEMS, ERROR_INVALID_OPERATION before a
  // successful Resolve, or the error of setting the option.
  DWORD ApplyNextProxy(HINTERNET request, DWORD requestError);

  DWORD accessType() const { return accessType_; }
  const wchar_t* proxyList() const { return proxyList_; }
  const wchar_t* bypassList() const { return bypassList_; }
  bool failOverAllowed() const { return failOverAllowed_; }

 private:
  DWORD LookUp(HINTERNET handle, const wchar_t* url, const wchar_t* configUrl, wchar_t** proxyList,
               wchar_t** bypassList);
  void Commit(bool failOverAllowed, wchar_t* proxyList, wchar_t* bypassList);
  DWORD Apply(HINTERNET request, const wchar_t* entry);

  SystemLibrary winhttp_;
  bool resolved_ = false;
  bool firstApplied_ = false;
  bool listExhausted_ = false;
  DWORD accessType_ = 0;
  wchar_t* proxyList_ = nullptr;
  wchar_t* bypassList_ = nullptr;
  bool failOverAllowed_ = false;
  const wchar_t* cursor_ = nullptr;
};

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_PROXY_SELECTOR_H_
