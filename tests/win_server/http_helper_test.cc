// HTTPHelper with Wine's real WinHTTP against the local HTTPS test server,
// with direct access (Wine connects directly whatever the proxy setting).
#include "Src/Httphelper/http_helper.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "win/trace_recorder.h"
#include "win_server/server_fixture.h"

using namespace bastion;

namespace {

constexpr const GUID& kHttpGuid = trace::MessageGuid<HttpTrace>::value;
const std::string kLogPrefix = "[HTTPHelper::DownloadFile] ";

// Accepts exactly the certificate whose DER encoding is `der`.
ServerCertificateCheck AcceptOnly(std::vector<BYTE> der, int* calls = nullptr) {
  return [der, calls](PCCERT_CONTEXT certificate) {
    if (calls != nullptr) ++*calls;
    return certificate->cbCertEncoded == der.size() &&
           std::equal(der.begin(), der.end(), certificate->pbCertEncoded);
  };
}

std::vector<BYTE> ServerCertificate() { return ReadWholeFile(ServerFile(L"server.der")); }

struct Download {
  bool connected = false;
  bool ok = false;
  BodyOutcome outcome;
  std::vector<BYTE> body;
  unsigned long long reported = 0;
  int calls = 0;
  // Reports after which the file did not hold exactly the bytes reported.
  int ahead = 0;
};

unsigned long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return ~0ull;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Download Fetch(const wchar_t* path, bool useSystemTrust = true, ServerCertificateCheck check = {}) {
  TemporaryFile file(L"%temp%");
  file.Create();
  Download d;
  HTTPHelper helper(L"localhost", path, check, useSystemTrust);
  d.connected = helper.connected();
  const std::wstring written = file.path();
  d.outcome = helper.DownloadFile(file, [&d, &written](DWORD available) {
    d.reported += available;
    ++d.calls;
    if (available == 0 || FileSize(written) != d.reported) ++d.ahead;
    return true;
  });
  d.ok = d.outcome.complete;
  d.body = ReadWholeFile(file.path());
  return d;
}

TEST(HTTPHelperServer, DownloadsTheWholeBodyWithSystemTrust) {
  TraceRecorder recorder;
  Download d = Fetch(L"/size/300000");
  EXPECT_TRUE(d.connected);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.body, Pattern(300000));
  EXPECT_EQ(d.reported, 300000u);
  // One report per chunk, of that chunk, once it is written, whatever the
  // chunk's size (Wine's reads never exceed 16 KiB, Windows' may).
  EXPECT_GT(d.calls, 0);
  EXPECT_EQ(d.ahead, 0);
  std::vector<std::string> requests = ServerRequests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back(), "GET /size/300000 HTTP/1.0");
  std::vector<USHORT> numbers = recorder.Numbers(kHttpGuid);
  EXPECT_EQ(numbers, (std::vector<USHORT>{10, 11, 13, 14, 15, 16}));
  for (const TraceRecord& r : recorder.records()) {
    if (r.number == 18 && r.guid == kHttpGuid) ADD_FAILURE() << "send failed with " << r.Value(0);
    if (r.number == 15 && r.guid == kHttpGuid) {
      EXPECT_EQ(r.Value(0), 0u);
      EXPECT_EQ(r.Wide(1), L"Direct");
    }
    if (r.number == 16 && r.guid == kHttpGuid) {
      EXPECT_EQ(r.Value(0), 1u);  // system trust
      EXPECT_EQ(r.Value(1), 0u);  // no verdict asked
    }
  }
}

TEST(HTTPHelperServer, EmptyBodyAndErrorPagesAreWrittenLikeAPackage) {
  Download empty = Fetch(L"/size/0");
  EXPECT_TRUE(empty.ok);
  EXPECT_TRUE(empty.body.empty());
  EXPECT_EQ(empty.calls, 0);
  for (const wchar_t* path : {L"/status/404", L"/status/500"}) {
    Download d = Fetch(path);
    EXPECT_TRUE(d.ok) << path;
    std::string text(d.body.begin(), d.body.end());
    EXPECT_EQ(text, std::string("status ") + (path[8] == L'4' ? "404" : "500") + "\n");
  }
}

// Under Wine WinHttpReadData ends cleanly at the cut, so only the announced
// Content-Length shows that the body is short.
TEST(HTTPHelperServer, ABodyCutShortFailsTheDownload) {
  LogCapture log;
  TraceRecorder recorder;
  Download d = Fetch(L"/drop/200000");
  EXPECT_TRUE(d.connected);
  EXPECT_FALSE(d.ok);
  EXPECT_LT(d.body.size(), 200000u);
  std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], kLogPrefix + "HTTPHelper DownloadFile incomplete body: " +
                          std::to_string(d.body.size()) + " of 200000 bytes");
  std::vector<USHORT> numbers = recorder.Numbers(kHttpGuid);
  EXPECT_EQ(numbers.back(), 24);
  // A cut may be resumed, but this response named no validator to resume by.
  EXPECT_TRUE(d.outcome.resumable);
  EXPECT_TRUE(d.outcome.started);
  EXPECT_EQ(d.outcome.validator, L"");
  EXPECT_EQ(d.outcome.length, 200000u);
  EXPECT_EQ(d.outcome.bodyBytes, d.body.size());
  // The resource's strong ETag is what a resumed request would send back.
  Download ranged = Fetch(L"/ranged/1000");
  EXPECT_TRUE(ranged.ok);
  EXPECT_EQ(ranged.outcome.validator, L"\"p1000v0\"");
}

// A server that stops sending with the connection open: the receive
// time-out ends the read (30 s under Wine, with 10060 there, not pinned),
// and the file may be resumed. The only test that waits that long.
TEST(HTTPHelperServer, ASilentServerEndsByTheReceiveTimeOutAndCanBeResumed) {
  Download d = Fetch(L"/stall/200000");
  EXPECT_TRUE(d.connected);
  EXPECT_FALSE(d.ok);
  EXPECT_TRUE(d.outcome.resumable);
  EXPECT_GT(d.body.size(), 0u);
  EXPECT_LT(d.body.size(), 200000u);
  EXPECT_EQ(d.outcome.bodyBytes, d.body.size());
}

// With system trust a successful send counts as connected even when no
// response came. On Windows the body read then fails (trace 21); under Wine
// it ends at once as if the body were empty, so the missing status line has
// to show it (trace 25). Either way nothing counts as downloaded.
TEST(HTTPHelperServer, NoResponseIsNoDownload) {
  LogCapture log;
  TraceRecorder recorder;
  TemporaryFile file(L"%temp%");
  file.Create();
  HTTPHelper helper(L"localhost", L"/close", ServerCertificateCheck(), true);
  EXPECT_TRUE(helper.connected());
  EXPECT_FALSE(helper.DownloadFile(file, [](DWORD) { return true; }).complete);
  const TraceRecord& last = recorder.records().back();
  ASSERT_TRUE(last.number == 21 || last.number == 25) << last.number;
  std::string text = last.number == 21 ? "HTTPHelper ImpWinHttpQueryDataAvailable failed: "
                                       : "HTTPHelper DownloadFile no response: ";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{kLogPrefix + text + std::to_string(last.Value(0))}));
  // The pinned mode needs a response: the same server leaves it unconnected.
  HTTPHelper pinned(L"localhost", L"/close", [](PCCERT_CONTEXT) { return true; }, false);
  EXPECT_FALSE(pinned.connected());
}

TEST(HTTPHelperServer, SlowBodyArrivesWhole) {
  Download d = Fetch(L"/slow/200000");
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.body, Pattern(200000));
}

TEST(HTTPHelperServer, PinnedServerCertificateIsAcceptedByTheCheck) {
  TraceRecorder recorder;
  int calls = 0;
  std::vector<BYTE> der = ServerCertificate();
  ASSERT_FALSE(der.empty());
  TemporaryFile file(L"%temp%");
  file.Create();
  HTTPHelper helper(L"localhost", L"/size/5000", AcceptOnly(der, &calls), false);
  EXPECT_TRUE(helper.connected());
  EXPECT_TRUE(helper.certificateAccepted());
  EXPECT_GE(calls, 1);
  EXPECT_TRUE(helper.DownloadFile(file, [](DWORD) { return true; }).complete);
  EXPECT_EQ(ReadWholeFile(file.path()), Pattern(5000));
  EXPECT_EQ(recorder.Numbers(kHttpGuid), (std::vector<USHORT>{10, 11, 12, 13, 14, 15, 16}));
}

TEST(HTTPHelperServer, RefusedCertificateLeavesTheObjectUnconnectedAndWritesNothing) {
  LogCapture log;
  TraceRecorder recorder;
  TemporaryFile file(L"%temp%");
  file.Create();
  size_t before = ServerRequests().size();
  {
    HTTPHelper helper(L"localhost", L"/size/5000", AcceptOnly({1, 2, 3}), false);
    EXPECT_FALSE(helper.connected());
    EXPECT_FALSE(helper.certificateAccepted());
    EXPECT_FALSE(helper.DownloadFile(file, [](DWORD) { return true; }).complete);
  }
  EXPECT_TRUE(ReadWholeFile(file.path()).empty());
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{kLogPrefix + "HTTPHelper DownloadFile not connected"}));
  // One response, then no other proxy is tried.
  EXPECT_EQ(ServerRequests().size(), before + 1);
  std::vector<USHORT> numbers = recorder.Numbers(kHttpGuid);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 16), 1);
  EXPECT_EQ(numbers.back(), 19);
}

TEST(HTTPHelperServer, SystemTrustRefusesANameOutsideTheCertificate) {
  // "127.0.0.1" is not among the certificate's names: the one send fails
  // with the certificate error (12157 under Wine, 12175 on Windows), which
  // allows no fail-over, and no request reaches the server.
  TraceRecorder recorder;
  const size_t before = ServerRequests().size();
  HTTPHelper helper(L"127.0.0.1", L"/size/10", ServerCertificateCheck(), true);
  EXPECT_FALSE(helper.connected());
  std::vector<ULONG> sendErrors;
  for (const TraceRecord& r : recorder.records())
    if (r.guid == kHttpGuid && r.number == static_cast<USHORT>(HttpTrace::kSendFailed)) sendErrors.push_back(r.Value(0));
  ASSERT_EQ(sendErrors.size(), 1u);
  EXPECT_TRUE(sendErrors[0] == ERROR_WINHTTP_SECURE_CHANNEL_ERROR || sendErrors[0] == ERROR_WINHTTP_SECURE_FAILURE)
      << sendErrors[0];
  EXPECT_EQ(ServerRequests().size(), before);
}

// A length that is missing or no number counts as none: the body runs to
// the stream's end and is taken as received, and the package's signature
// check is what refuses one cut there. Wine's WinHTTP reads a length that is
// no number as 0, so that stream ends at once.
TEST(HTTPHelperServer, ABodyWithoutAUsableLengthRunsToTheStreamsEnd) {
  TraceRecorder recorder;
  Download none = Fetch(L"/nolength/100000");
  EXPECT_TRUE(none.connected);
  EXPECT_TRUE(none.ok);
  EXPECT_EQ(none.body, Pattern(100000));
  Download unreadable = Fetch(L"/badlength/100000");
  EXPECT_TRUE(unreadable.connected);
  EXPECT_TRUE(unreadable.ok);
  EXPECT_EQ(unreadable.body.size(), unreadable.reported);
  const std::vector<USHORT> numbers = recorder.Numbers(kHttpGuid);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), static_cast<USHORT>(HttpTrace::kIncompleteBody)), 0);
}

// 127.0.0.3:443 listens but accepts nothing (tools/test_server_fixture.sh):
// the connect ends at the 5 s time-out with 12002, in the one send.
TEST(HTTPHelperServer, AServerThatNeverAcceptsEndsAtTheConnectTimeOut) {
  TraceRecorder recorder;
  HTTPHelper helper(L"127.0.0.3", L"/size/10", ServerCertificateCheck(), true);
  EXPECT_FALSE(helper.connected());
  std::vector<ULONG> sendErrors;
  for (const TraceRecord& r : recorder.records())
    if (r.guid == kHttpGuid && r.number == static_cast<USHORT>(HttpTrace::kSendFailed)) sendErrors.push_back(r.Value(0));
  EXPECT_EQ(sendErrors, std::vector<ULONG>{ERROR_WINHTTP_TIMEOUT});
}

TEST(HTTPHelperServer, AFileThatWasNotCreatedIsLoggedWithItsPath) {
  LogCapture log;
  TraceRecorder recorder;
  TemporaryFile file(L"C:\\no-such-folder-\u00e9");
  file.Create();
  HTTPHelper helper(L"localhost", L"/size/10", ServerCertificateCheck(), true);
  ASSERT_TRUE(helper.connected());
  EXPECT_FALSE(helper.DownloadFile(file, [](DWORD) { return true; }).complete);
  std::string name(file.name().begin(), file.name().end());
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{kLogPrefix + "HTTPHelper DownloadFile cannot create: "
                                                                "C:\\no-such-folder-\xc3\xa9\\" + name}));
  const TraceRecord& last = recorder.records().back();
  EXPECT_EQ(last.number, 20);
  EXPECT_EQ(last.Wide(0), file.path());
}

TEST(HTTPHelperServer, EmptyProgressCallableIsAProgrammingError) {
  TemporaryFile file(L"%temp%");
  file.Create();
  HTTPHelper helper(L"localhost", L"/size/10", ServerCertificateCheck(), true);
  EXPECT_THROW(helper.DownloadFile(file, DownloadProgressCallback()), std::bad_function_call);
}

TEST(HTTPHelperServer, UnknownHostLeavesTheObjectUnconnected) {
  TraceRecorder recorder;
  HTTPHelper unknown(L"no-such-host.invalid", L"/", ServerCertificateCheck(), false);
  EXPECT_FALSE(unknown.connected());
  // Direct access has no list to fail over along: one send, trace 18 with
  // the name error.
  bool sawNameError = false;
  for (const TraceRecord& r : recorder.records())
    if (r.guid == kHttpGuid && r.number == 18) sawNameError = r.Value(0) == ERROR_WINHTTP_NAME_NOT_RESOLVED;
  EXPECT_TRUE(sawNameError);
}

// 127.0.0.2 offers TLS 1.0 and 1.1 only, under a certificate that the
// system trusts and the check accepts: only the protocol can stop the
// request. A refused handshake and a refused certificate both fail with
// 12157, so the server's log is the proof.
TEST(HTTPHelperServer, AServerWithoutTls12GetsNoRequestInEitherMode) {
  const size_t before = ServerRequests().size();
  for (bool systemTrust : {true, false}) {
    HTTPHelper helper(L"127.0.0.2", L"/size/11", [](PCCERT_CONTEXT) { return true; }, systemTrust);
    EXPECT_FALSE(helper.connected()) << systemTrust;
  }
  EXPECT_EQ(ServerRequests().size(), before);
}

}  // namespace
