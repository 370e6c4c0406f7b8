#include "Src/Httphelper/http_helper.h"

#include <string.h>

#include <optional>
#include <vector>

#include "Src/Httphelper/content_length.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/text.h"

namespace bastion {

void RecordCertificateVerdict(HTTPHelper* helper, bool accepted);

namespace {

constexpr char kDownloadFunction[] = "HTTPHelper::DownloadFile";

ULONG Low32(const void* handle) { return static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(handle)); }

// The one certificate check the status callback consults. Each construction
// replaces it; only one HTTPHelper connects at a time.
struct ActiveCertificateCheck {
  bool useSystemTrust;
  ServerCertificateCheck check;
  HTTPHelper* helper;
};

std::optional<ActiveCertificateCheck>& ActiveCheck() {
  static std::optional<ActiveCertificateCheck> active;
  return active;
}

// The status callback's own bindings, made once on first use.
struct CallbackBindings {
  SystemLibrary winhttp{L"WINHTTP.dll"};
  SystemLibrary crypt32{L"crypt32.dll"};
  decltype(WinHttpQueryOption)* queryOption = nullptr;
  decltype(CertFreeCertificateContext)* freeCertificate = nullptr;
  // Both or neither.
  CallbackBindings() {
    if (!BindExport(winhttp, "WinHttpQueryOption", queryOption) ||
        !BindExport(crypt32, "CertFreeCertificateContext", freeCertificate)) {
      queryOption = nullptr;
      freeCertificate = nullptr;
    }
  }
};

CallbackBindings& Bindings() {
  static CallbackBindings bindings;
  return bindings;
}

void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                             DWORD infoLength) {
  (void)context;
  (void)status;
  (void)info;
  (void)infoLength;
  CallbackBindings& bindings = Bindings();
  JudgeServerCertificate(bindings.queryOption, bindings.freeCertificate, handle);
}

}  // namespace

void JudgeServerCertificate(decltype(WinHttpQueryOption)* queryOption,
                            decltype(CertFreeCertificateContext)* freeCertificate, HINTERNET request) {
  std::optional<ActiveCertificateCheck>& active = ActiveCheck();
  if (!active || active->useSystemTrust || active->helper == nullptr) return;
  // Refused first: a notification whose certificate cannot be read or
  // judged must not leave an earlier acceptance of the same send standing.
  RecordCertificateVerdict(active->helper, false);
  if (queryOption == nullptr || freeCertificate == nullptr || !active->check) return;
  PCCERT_CONTEXT certificate = nullptr;
  DWORD size = sizeof(certificate);
  if (!queryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) || certificate == nullptr)
    return;
  RecordCertificateVerdict(active->helper, active->check(certificate));
  // Each query hands over a context of its own.
  freeCertificate(certificate);
}

bool RestrictToModernTls(decltype(WinHttpSetOption)* setOption, HINTERNET session) {
  const DWORD choices[] = {WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3,
                           WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2};
  for (DWORD protocols : choices) {
    if (setOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return true;
  }
  return false;
}

void RecordCertificateVerdict(HTTPHelper* helper, bool accepted) {
  helper->certificateAccepted_ = accepted;
}

HTTPHelper::HTTPHelper(const wchar_t* host, const wchar_t* objectPath,
                       const ServerCertificateCheck& serverCertificateCheck, bool useSystemTrust,
                       const std::optional<ResumeRequest>& resume)
    : winhttp_(L"WINHTTP.dll"), host_(host), objectPath_(objectPath), resume_(resume), useSystemTrust_(useSystemTrust) {
  if (resume_) {
    // Digits through std::to_string: std::to_wstring goes through the
    // runtime's wide printf, 12 KB of the shipped exe for this one number.
    const std::string offset = std::to_string(resume_->offset);
    rangeHeaders_ = L"Range: bytes=" + std::wstring(offset.begin(), offset.end()) + L"-\r\nIf-Range: " +
                    resume_->validator + L"\r\n";
  }
  trace::Message(HttpTrace::kConnecting, trace::kComponents);
  Connect(serverCertificateCheck);
}

void HTTPHelper::Connect(const ServerCertificateCheck& serverCertificateCheck) {
  if (!winhttp_.IsLoaded()) return;
  bool bound = BindExport(winhttp_, "WinHttpReceiveResponse", ImpWinHttpReceiveResponse);
  bound = BindExport(winhttp_, "WinHttpOpen", ImpWinHttpOpen) && bound;
  bound = BindExport(winhttp_, "WinHttpReadData", ImpWinHttpReadData) && bound;
  bound = BindExport(winhttp_, "WinHttpOpenRequest", ImpWinHttpOpenRequest) && bound;
  bound = BindExport(winhttp_, "WinHttpSetOption", ImpWinHttpSetOption) && bound;
  bound = BindExport(winhttp_, "WinHttpCloseHandle", ImpWinHttpCloseHandle) && bound;
  bound = BindExport(winhttp_, "WinHttpConnect", ImpWinHttpConnect) && bound;
  bound = BindExport(winhttp_, "WinHttpQueryOption", ImpWinHttpQueryOption) && bound;
  bound = BindExport(winhttp_, "WinHttpSetStatusCallback", ImpWinHttpSetStatusCallback) && bound;
  bound = BindExport(winhttp_, "WinHttpQueryDataAvailable", ImpWinHttpQueryDataAvailable) && bound;
  bound = BindExport(winhttp_, "WinHttpSendRequest", ImpWinHttpSendRequest) && bound;
  bound = BindExport(winhttp_, "WinHttpGetIEProxyConfigForCurrentUser", ImpWinHttpGetIEProxyConfigForCurrentUser) &&
          bound;
  bound = BindExport(winhttp_, "WinHttpQueryHeaders", ImpWinHttpQueryHeaders) && bound;
  // The whole set or nothing: no call is made through a partial one.
  if (!bound) return;

  trace::Message(HttpTrace::kOpeningSession, trace::kComponents);
  const WinHttpHandleTraits closing{ImpWinHttpCloseHandle};
  sessionHandle_ = ScopedInternetHandle(ImpWinHttpOpen(L"HTTP/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0),
                                        closing);
  // TLS 1.2 or later in every mode: the system's defaults may still allow
  // 1.0 and 1.1. A platform that refuses the option gets no request.
  if (sessionHandle_.IsValid() && !RestrictToModernTls(ImpWinHttpSetOption, sessionHandle_.Get())) {
    BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper TLS 1.2 refused by the system: {}",
                GetLastError());
    return;
  }
  if (!useSystemTrust_) {
    trace::Message(HttpTrace::kCheckingCertificateOurselves, trace::kComponents);
    if (sessionHandle_.IsValid())
      ImpWinHttpSetStatusCallback(sessionHandle_.Get(), StatusCallback, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0);
  }
  if (sessionHandle_.IsValid())
    connectionHandle_ = ScopedInternetHandle(
        ImpWinHttpConnect(sessionHandle_.Get(), host_.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0), closing);
  if (connectionHandle_.IsValid())
    requestHandle_ = ScopedInternetHandle(
        ImpWinHttpOpenRequest(connectionHandle_.Get(), L"GET", objectPath_.c_str(), nullptr, WINHTTP_NO_REFERER,
                              WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE),
        closing);
  if (!useSystemTrust_ && requestHandle_.IsValid()) {
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                  SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    ImpWinHttpSetOption(requestHandle_.Get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  }
  trace::Message(HttpTrace::kRequestOpened, trace::kComponents);
  if (requestHandle_.IsValid()) {
    DWORD timeout = 5000;
    ImpWinHttpSetOption(requestHandle_.Get(), WINHTTP_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
  }
  trace::Message(HttpTrace::kConnectTimeoutSet, trace::kComponents);

  {
    LoggedOnUserImpersonation impersonation;
    proxySelector_.reset();
    proxySelector_ = std::make_unique<ProxySelector>();
    std::wstring url = L"https://" + host_ + objectPath_;
    DWORD resolution = proxySelector_->Resolve(sessionHandle_.Get(), url.c_str());
    trace::Message(HttpTrace::kProxyResolution, trace::kComponents, resolution, L"Direct");
  }

  ActiveCheck() = ActiveCertificateCheck{useSystemTrust_, serverCertificateCheck, this};
  SendWithFailOver();
}

void HTTPHelper::SendWithFailOver() {
  DWORD requestError = 0;
  for (;;) {
    if (proxySelector_->ApplyNextProxy(requestHandle_.Get(), requestError) != 0) return;
    // A verdict belongs to the send that asked for it.
    certificateAccepted_ = false;
    if (!ImpWinHttpSendRequest(requestHandle_.Get(),
                               rangeHeaders_.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : rangeHeaders_.c_str(),
                               static_cast<DWORD>(rangeHeaders_.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      requestError = GetLastError();
      trace::Message(HttpTrace::kSendFailed, trace::kComponents, requestError);
      continue;
    }
    bool received = ImpWinHttpReceiveResponse(requestHandle_.Get(), nullptr) != FALSE;
    DWORD receiveError = received ? 0 : GetLastError();
    trace::Message(HttpTrace::kSent, trace::kComponents, useSystemTrust_ ? 1UL : 0UL,
                   certificateAccepted_ ? 1UL : 0UL, Low32(sessionHandle_.Get()), Low32(connectionHandle_.Get()),
                   Low32(requestHandle_.Get()));
    connected_ = useSystemTrust_ || (certificateAccepted_ && sessionHandle_.IsValid() &&
                                     connectionHandle_.IsValid() && requestHandle_.IsValid() && received);
    // A response whose certificate was refused ends the attempt: another
    // proxy would lead to the same server.
    if (connected_ || received) return;
    requestError = receiveError;
    trace::Message(HttpTrace::kNoResponse, trace::kComponents, requestError);
  }
}

HTTPHelper::~HTTPHelper() {
  std::optional<ActiveCertificateCheck>& active = ActiveCheck();
  // The slot outlives this object; it must not point at it any more.
  if (active && active->helper == this) active->helper = nullptr;
}

std::wstring HTTPHelper::HeaderText(DWORD query) {
  wchar_t text[512] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (!ImpWinHttpQueryHeaders(requestHandle_.Get(), query, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                              WINHTTP_NO_HEADER_INDEX))
    return {};
  return std::wstring(text, size / sizeof(wchar_t));
}

bool HTTPHelper::AcceptResumeAnswer(DWORD status, const uint64_t* announced, TemporaryFile& file) {
  if (status == HTTP_STATUS_OK) {
    // The server ignored the range, or the file changed: the body is the
    // whole file, written from its start.
    if (!file.Truncate()) {
      DWORD error = GetLastError();
      trace::Message(HttpTrace::kWriteFileFailed, trace::kComponents, error);
      BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper WriteFile failed: {}", error);
      return false;
    }
    return true;
  }
  const std::wstring rangeText = HeaderText(WINHTTP_QUERY_CONTENT_RANGE);
  ContentRange range;
  const ResumeRequest& resume = *resume_;
  if (status == HTTP_STATUS_PARTIAL_CONTENT && ParseContentRange(rangeText.c_str(), range) &&
      range == ContentRange{resume.offset, resume.total - 1, resume.total} &&
      (announced == nullptr || *announced == resume.total - resume.offset))
    return true;
  trace::Message(HttpTrace::kResumeRefused, trace::kComponents, status);
  BASTION_LOG(spdlog::level::info, kDownloadFunction,
              "HTTPHelper DownloadFile resumed request answered with status {} and Content-Range \"{}\"", status,
              WideToUtf8(rangeText));
  return false;
}

BodyOutcome HTTPHelper::DownloadFile(TemporaryFile& file, DownloadProgressCallback progress) {
  BodyOutcome outcome;
  if (!connected_) {
    trace::Message(HttpTrace::kNotConnected, trace::kComponents);
    BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper DownloadFile not connected");
    outcome.resumable = true;  // the file was not touched
    return outcome;
  }
  if (!file.created()) {
    trace::Message(HttpTrace::kCannotCreateFile, trace::kComponents, file.path().c_str());
    BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper DownloadFile cannot create: {}",
                WideToUtf8(file.path()));
    return outcome;
  }

  // The head is read before the body: a read error or time-out ends the body
  // where the length could no longer be asked for. Under Wine a request
  // whose connection closed before any response has no status line.
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (!ImpWinHttpQueryHeaders(requestHandle_.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
    DWORD error = GetLastError();
    trace::Message(HttpTrace::kDownloadNoResponse, trace::kComponents, error);
    BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper DownloadFile no response: {}", error);
    outcome.resumable = true;
    return outcome;
  }
  uint64_t announced = 0;
  // Without a length, the end of the stream is the end of the body.
  const bool lengthKnown = ParseContentLength(HeaderText(WINHTTP_QUERY_CONTENT_LENGTH).c_str(), announced);
  if (resume_ && !AcceptResumeAnswer(status, lengthKnown ? &announced : nullptr, file)) return outcome;
  if (status == HTTP_STATUS_OK) {
    outcome.started = true;
    outcome.validator =
        ResumeValidator(HeaderText(WINHTTP_QUERY_ETAG).c_str(), HeaderText(WINHTTP_QUERY_LAST_MODIFIED).c_str());
    outcome.length = lengthKnown ? announced : 0;
  }

  std::vector<BYTE> buffer;
  unsigned long long& received = outcome.bodyBytes;
  for (;;) {
    DWORD available = 0;
    if (!ImpWinHttpQueryDataAvailable(requestHandle_.Get(), &available)) {
      DWORD error = GetLastError();
      trace::Message(HttpTrace::kQueryDataAvailableFailed, trace::kComponents, error);
      BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper ImpWinHttpQueryDataAvailable failed: {}",
                  error);
      outcome.resumable = true;
      break;
    }
    if (available == 0) {
      if (!lengthKnown || announced == received) {
        outcome.complete = true;
        break;
      }
      trace::Message(HttpTrace::kIncompleteBody, trace::kComponents, static_cast<ULONG>(received >> 32),
                     static_cast<ULONG>(received), static_cast<ULONG>(announced >> 32),
                     static_cast<ULONG>(announced), 0UL);
      BASTION_LOG(spdlog::level::info, kDownloadFunction,
                  "HTTPHelper DownloadFile incomplete body: {} of {} bytes", received, announced);
      // More than announced is no cut: that body is not the one announced.
      outcome.resumable = received < announced;
      break;
    }
    if (buffer.size() < available) buffer.resize(available);
    memset(buffer.data(), 0, available);
    DWORD read = 0;
    if (!ImpWinHttpReadData(requestHandle_.Get(), buffer.data(), available, &read)) {
      DWORD error = GetLastError();
      trace::Message(HttpTrace::kReadDataFailed, trace::kComponents, error);
      BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper HTTPHelper ImpWinHttpReadData failed {}",
                  error);
      outcome.resumable = true;
      break;
    }
    if (!file.Write(buffer.data(), read)) {
      DWORD error = GetLastError();
      trace::Message(HttpTrace::kWriteFileFailed, trace::kComponents, error);
      BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper WriteFile failed: {}", error);
      break;
    }
    received += read;
    if (!progress(available)) {
      BASTION_LOG(spdlog::level::info, kDownloadFunction, "HTTPHelper DownloadFile stopped after {} bytes", received);
      break;
    }
    if (read == 0) {
      outcome.resumable = true;
      break;
    }
  }
  return outcome;
}

}  // namespace bastion
