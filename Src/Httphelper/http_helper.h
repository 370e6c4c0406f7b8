// One HTTPS GET of the package per object. Construction does the network
// work up to the response headers (session, connection, request, proxy,
// send with fail-over along the proxy list); DownloadFile streams the body.
#ifndef BASTION_SRC_HTTPHELPER_HTTP_HELPER_H_
#define BASTION_SRC_HTTPHELPER_HTTP_HELPER_H_

#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Src/Httphelper/proxy_selector.h"
#include "Src/Httphelper/temporary_file.h"
#include "platform/scoped_handle.h"
#include "platform/system_library.h"

namespace bastion {

// Answers true to accept the server's certificate.
using ServerCertificateCheck = std::function<bool(PCCERT_CONTEXT)>;
// Told the byte count reported available for each chunk written; answers
// false to stop the download there.
using DownloadProgressCallback = std::function<bool(DWORD)>;

// The TLS versions every download offers: 1.3 where the system knows it,
// 1.2 always, never the older ones. Sets TLS 1.2 and 1.3 on `session`, or
// 1.2 alone where WinHTTP refuses 1.3 (Windows before 11). False when
// neither is accepted: the platform's defaults, which may include 1.0 and
// 1.1, must not be left in place. Windows 7's WinHTTP knows TLS 1.2 only
// with KB3140245 and its client settings.
bool RestrictToModernTls(decltype(WinHttpSetOption)* setOption, HINTERNET session);

// Where a download cut short goes on: the bytes its file has, the length of
// the response that started the file, and that response's validator.
struct ResumeRequest {
  unsigned long long offset = 0;
  unsigned long long total = 0;
  std::wstring validator;
};

// What one response did to the file.
struct BodyOutcome {
  // The whole body is in the file.
  bool complete = false;
  // The body stopped short through no fault of the file's (no connection,
  // the connection closed, a read failed or timed out): what the file has
  // may be resumed. Never after a failed write, a body longer than
  // announced or a refused answer to a resumed request.
  bool resumable = false;
  // This response's body bytes received.
  unsigned long long bodyBytes = 0;
  // A 200 response started the file from byte 0: its validator (empty when
  // it had none usable) and its Content-Length (0 when it announced none).
  bool started = false;
  std::wstring validator;
  unsigned long long length = 0;
};

// One status notification of a send, while an HTTPHelper that checks the
// server's certificate itself is connecting: its verdict is first set to
// refused, then to the check's answer on the certificate that
// `queryOption` reads from `request`. The status callback passes the bound
// WinHTTP and crypt32 entry points; tests pass stand-ins.
void JudgeServerCertificate(decltype(WinHttpQueryOption)* queryOption,
                            decltype(CertFreeCertificateContext)* freeCertificate, HINTERNET request);

// A WinHTTP handle, closed through the WinHttpCloseHandle its owner bound.
using WinHttpHandleTraits = BoundCloseTraits<HINTERNET, decltype(WinHttpCloseHandle)>;
using ScopedInternetHandle = ScopedHandle<WinHttpHandleTraits>;

class HTTPHelper {
 public:
  // `useSystemTrust` true leaves the certificate to WinHTTP's validation;
  // false switches that off and lets `serverCertificateCheck` decide. With
  // `resume`, the request asks for the rest of the file from its offset, if
  // the file on the server is still the one of the validator.
  HTTPHelper(const wchar_t* host, const wchar_t* objectPath,
             const ServerCertificateCheck& serverCertificateCheck, bool useSystemTrust,
             const std::optional<ResumeRequest>& resume = std::nullopt);
  ~HTTPHelper();
  HTTPHelper(const HTTPHelper&) = delete;
  HTTPHelper& operator=(const HTTPHelper&) = delete;

  // Writes the response body through the creation handle of `file`. A
  // request without a range takes the body whatever its status. A resumed
  // one appends only a 206 that continues exactly at the file's end, and
  // starts the file again on a 200; any other answer fails. A stop by
  // `progress` ends it, incomplete.
  BodyOutcome DownloadFile(TemporaryFile& file, DownloadProgressCallback progress);

  bool connected() const { return connected_; }
  bool certificateAccepted() const { return certificateAccepted_; }

 private:
  friend void RecordCertificateVerdict(HTTPHelper* helper, bool accepted);
  void Connect(const ServerCertificateCheck& serverCertificateCheck);
  void SendWithFailOver();
  // The text of a response header; empty when absent or longer than a
  // header we act on may be.
  std::wstring HeaderText(DWORD query);
  // Whether the answer to the resumed request, with its Content-Length
  // where it announced one, continues the file: false, logged, otherwise.
  // Starts the file again on a 200.
  bool AcceptResumeAnswer(DWORD status, const uint64_t* announced, TemporaryFile& file);

  SystemLibrary winhttp_;
  decltype(WinHttpReceiveResponse)* ImpWinHttpReceiveResponse = nullptr;
  decltype(WinHttpOpen)* ImpWinHttpOpen = nullptr;
  decltype(WinHttpReadData)* ImpWinHttpReadData = nullptr;
  decltype(WinHttpOpenRequest)* ImpWinHttpOpenRequest = nullptr;
  decltype(WinHttpSetOption)* ImpWinHttpSetOption = nullptr;
  decltype(WinHttpCloseHandle)* ImpWinHttpCloseHandle = nullptr;
  decltype(WinHttpConnect)* ImpWinHttpConnect = nullptr;
  decltype(WinHttpQueryOption)* ImpWinHttpQueryOption = nullptr;
  decltype(WinHttpSetStatusCallback)* ImpWinHttpSetStatusCallback = nullptr;
  decltype(WinHttpQueryDataAvailable)* ImpWinHttpQueryDataAvailable = nullptr;
  decltype(WinHttpSendRequest)* ImpWinHttpSendRequest = nullptr;
  decltype(WinHttpGetIEProxyConfigForCurrentUser)* ImpWinHttpGetIEProxyConfigForCurrentUser = nullptr;
  // Reads Content-Length so that a body cut short is not taken for a whole one.
  decltype(WinHttpQueryHeaders)* ImpWinHttpQueryHeaders = nullptr;
  std::wstring host_;
  std::wstring objectPath_;
  std::optional<ResumeRequest> resume_;
  // "Range" and "If-Range" for a resumed request, sent with every proxy
  // tried; empty otherwise.
  std::wstring rangeHeaders_;
  bool useSystemTrust_ = false;
  bool connected_ = false;
  bool certificateAccepted_ = false;
  std::unique_ptr<ProxySelector> proxySelector_;
  // Destroyed in the reverse order: request, connection, session, and then
  // the proxy selector.
  ScopedInternetHandle sessionHandle_;
  ScopedInternetHandle connectionHandle_;
  ScopedInternetHandle requestHandle_;
};

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_HTTP_HELPER_H_
