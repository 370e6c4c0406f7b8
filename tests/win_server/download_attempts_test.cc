// The download stage against the local HTTPS test server, with a page fake
// that records every page call in the order of the trace messages.
#include "Src/VTDropper/download_attempts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "win/trace_recorder.h"
#include "win_server/server_fixture.h"

using namespace bastion;

namespace {

constexpr const GUID& kProcedureGuid = trace::MessageGuid<ProcedureTrace>::value;
const std::wstring kFailedText = L"Initial Client: <span style=\"color: red; \">Failed to download files</span>";

struct PageCall {
  std::wstring function;
  std::vector<std::wstring> args;
  size_t traceIndex;  // how many trace messages had been sent before it
};

struct FakePage {
  TraceRecorder* recorder = nullptr;
  std::vector<PageCall> calls;
  HWND window = reinterpret_cast<HWND>(0x1234);
  HANDLE closed = nullptr;  // the window's gone event
  bool attended = true;
  // The page's script runs ForceRetry, as a loaded page does.
  bool scriptRuns = true;
  bool retryShown = false;
  std::vector<DWORD> sleeps;
  // Runs on every page call, after recording it.
  std::function<void(const PageCall&)> onCall;

  int Steps() const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const PageCall& c) {
      return c.function == L"SetInitialClientProgress";
    }));
  }
  std::vector<std::wstring> StatusTexts() const {
    std::vector<std::wstring> texts;
    for (const PageCall& c : calls)
      if (c.function == L"SetStatusBoxForInitialClient") texts.push_back(c.args.at(0));
    return texts;
  }
  int Count(const wchar_t* function) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [function](const PageCall& c) { return c.function == function; }));
  }
};
FakePage* g_page = nullptr;

WebInstance* const kInstance = reinterpret_cast<WebInstance*>(0x5678);

int FakeRunCommand(WebInstance* instance, const wchar_t* function, int argc, const wchar_t* const* argv) {
  EXPECT_EQ(instance, kInstance);
  PageCall call{function, {}, g_page->recorder->records().size()};
  for (int i = 0; i < argc; ++i) call.args.push_back(argv[i]);
  if (call.function == L"SetInitialClientProgress") {
    EXPECT_EQ(call.args, std::vector<std::wstring>{L"1"});
  }
  if (call.function == L"ForceRetry") g_page->retryShown = g_page->scriptRuns;
  g_page->calls.push_back(call);
  if (g_page->onCall) g_page->onCall(g_page->calls.back());
  return 0;
}
HWND FakeWindow(const WebInstance*) { return g_page->window; }
HANDLE FakeClosedEvent(const WebInstance*) { return g_page->closed; }
bool FakeRetryShown(const WebInstance*) { return g_page->retryShown; }
// The back-off's wait: recorded, and ended at once, by the abort event when
// it is set.
DWORD WINAPI FakeWait(HANDLE abortEvent, DWORD ms) {
  g_page->sleeps.push_back(ms);
  return WaitForSingleObject(abortEvent, 0);
}

// A press of one of the page's buttons, made on a thread of its own as the
// window thread would.
void PressFromAThread(const wchar_t* text) {
  std::thread([text] {
    BSTR button = SysAllocString(text);
    OnButton(button);
    SysFreeString(button);
  }).join();
}

class DownloadAttemptsTest : public ::testing::Test {
 protected:
  // The tests give TEMP a folder of their own, to see what attempts leave
  // there, and empty it afterwards.
  void SetUp() override {
    page_.recorder = &recorder_;
    g_page = &page_;
    retry_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    abort_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetAbortEvent(abort_);
    page_.closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH), 0u);
    savedTemp_ = temp;
    folder_ = savedTemp_ + L"\\bastion_download_attempts";
    CreateDirectoryW(folder_.c_str(), nullptr);
    SetEnvironmentVariableW(L"TEMP", folder_.c_str());
  }
  void TearDown() override {
    package_.Discard();
    CloseHandle(retry_);
    SetAbortEvent(nullptr);
    CloseHandle(abort_);
    if (page_.closed != nullptr) CloseHandle(page_.closed);
    g_page = nullptr;
    SetEnvironmentVariableW(L"TEMP", savedTemp_.c_str());
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          DeleteFileW((folder_ + L"\\" + found.cFileName).c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(folder_.c_str());
  }

  DownloadOutcome Run(const wchar_t* path, const ServerCertificateCheck& check = {}, bool useSystemTrust = true) {
    DownloadPage page{FakeRunCommand, FakeWindow, FakeClosedEvent, FakeRetryShown, FakeWait, page_.attended};
    return DownloadPackage(page, kInstance, L"localhost", path, check, useSystemTrust, retry_, abort_, place_,
                           package_, counts_);
  }

  // Index of the first trace message `number` of the procedure.
  size_t TraceIndex(USHORT number) const {
    const auto& records = recorder_.records();
    for (size_t i = 0; i < records.size(); ++i)
      if (records[i].guid == kProcedureGuid && records[i].number == number) return i;
    return SIZE_MAX;
  }

  // The files in the test's TEMP folder.
  std::vector<std::wstring> Files() const {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder_ + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
  }
  int FilesLeft() const { return static_cast<int>(Files().size()); }
  // Presses RETRY whenever the page shows the failure text.
  void PressRetryOnFailure() {
    page_.onCall = [this](const PageCall& c) {
      if (c.function == L"SetStatusBoxForInitialClient" && c.args.at(0) == kFailedText) SetEvent(retry_);
    };
  }

  TraceRecorder recorder_;
  FakePage page_;
  HANDLE retry_ = nullptr;
  HANDLE abort_ = nullptr;
  HeldPackage package_;
  StagingPlace place_{L"%temp%"};
  DownloadCounts counts_;
  std::wstring savedTemp_;
  std::wstring folder_;
};

ServerCertificateCheck Refuse() {
  return [](PCCERT_CONTEXT) { return false; };
}

TEST_F(DownloadAttemptsTest, SmallDownloadGetsAll102StepsAfterTheTransfer) {
  LogCapture log;
  ASSERT_EQ(Run(L"/size/100000"), DownloadOutcome::kDownloaded);  // about seven chunks
  EXPECT_EQ(ReadWholeFile(package_.path), Pattern(100000));
  EXPECT_EQ(page_.StatusTexts(),
            (std::vector<std::wstring>{L"Initial Client: Downloading...", L"Initial Client: Installing..."}));
  EXPECT_EQ(page_.Steps(), 102);
  size_t downloaded = TraceIndex(18);
  ASSERT_NE(downloaded, SIZE_MAX);
  for (const PageCall& c : page_.calls) {
    if (c.function == L"SetInitialClientProgress") {
      EXPECT_GT(c.traceIndex, downloaded);
    }
  }
  EXPECT_EQ(recorder_.Numbers(kProcedureGuid), (std::vector<USHORT>{17, 18, 19}));
  EXPECT_EQ(page_.Count(L"ForceRetry"), 0);

  std::string path8(package_.path.begin(), package_.path.end());  // ASCII temp folder
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[InstallProcedure] Temp file was generated in temp folder " + path8,
                                                   "[InstallProcedure] BSX.msi downloaded"}));
  EXPECT_EQ(package_.path.size(), wcslen(L"\\") + 36 + (package_.path.rfind(L'\\')));
}

TEST_F(DownloadAttemptsTest, LongTransferMakesItsStepsDuringTheDownloadAndNoneAfter) {
  // Well above 102 * 27 chunks of at most 16 KiB.
  ASSERT_EQ(Run(L"/size/62914560"), DownloadOutcome::kDownloaded);
  size_t downloaded = TraceIndex(18);
  int during = 0, after = 0;
  for (const PageCall& c : page_.calls)
    if (c.function == L"SetInitialClientProgress") (c.traceIndex > downloaded ? after : during)++;
  // One step per 27 chunks during the transfer, whatever a chunk's size, and
  // the fill-up to 102 after it: Wine's 16 KiB reads make more than 102
  // steps here, larger reads fewer and a fill-up.
  EXPECT_GT(during, 0);
  EXPECT_EQ(after, std::max(0, 102 - during));
}

TEST_F(DownloadAttemptsTest, FiveFailuresWithFiveRetryPressesFail) {
  PressRetryOnFailure();
  EXPECT_EQ(Run(L"/size/10", Refuse(), false), DownloadOutcome::kFailed);
  std::vector<std::wstring> texts = page_.StatusTexts();
  ASSERT_EQ(texts.size(), 10u);
  for (size_t i = 0; i < texts.size(); i += 2) {
    EXPECT_EQ(texts[i], L"Initial Client: Downloading...");
    EXPECT_EQ(texts[i + 1], kFailedText);
  }
  // RETRY replaces CLOSE once, after the first failure.
  EXPECT_EQ(page_.Count(L"ForceRetry"), 1);
  EXPECT_EQ(page_.calls.at(2).function, L"ForceRetry");
  EXPECT_TRUE(page_.calls.at(2).args.empty());
  EXPECT_EQ(page_.Steps(), 0);
  // Every press was consumed by a wait: five waits.
  EXPECT_EQ(WaitForSingleObject(retry_, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(page_.sleeps.empty());
  // Each attempt made a file of its own and deleted it.
  std::vector<USHORT> numbers = recorder_.Numbers(kProcedureGuid);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 17), 5);
  EXPECT_TRUE(package_.path.empty());
  EXPECT_EQ(FilesLeft(), 0);
}

// Without one of the conditions for a press, a wait would never end: the
// attempts take the bounded back-off instead, and leave RETRY unconsumed.
TEST_F(DownloadAttemptsTest, WhenNobodyCanPressRetryTheAttemptsBackOff) {
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"no window", [this] { page_.window = nullptr; }},
      {"a service's or an invisible station's window", [this] { page_.attended = false; }},
      {"a page that never loaded", [this] { page_.scriptRuns = false; }},
      {"no gone event", [this] {
         CloseHandle(page_.closed);
         page_.closed = nullptr;
       }},
      {"no RetryEvent", [this] {
         CloseHandle(retry_);
         retry_ = nullptr;
       }},
  };
  for (const auto& [name, prepare] : cases) {
    SCOPED_TRACE(name);
    if (page_.closed != nullptr) CloseHandle(page_.closed);
    page_ = FakePage{&recorder_};
    page_.closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (retry_ == nullptr) retry_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    prepare();
    if (retry_ != nullptr) SetEvent(retry_);  // a wait would consume this
    EXPECT_EQ(Run(L"/size/10", Refuse(), false), DownloadOutcome::kFailed);
    EXPECT_EQ(page_.sleeps, (std::vector<DWORD>{1000, 2000, 4000, 8000}));
    EXPECT_EQ(page_.StatusTexts().size(), 10u);
    EXPECT_EQ(page_.Count(L"ForceRetry"), 1);
    if (retry_ != nullptr) EXPECT_EQ(WaitForSingleObject(retry_, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  }
}

TEST_F(DownloadAttemptsTest, ClosingTheWindowDuringAWaitEndsItAndTheRestBacksOff) {
  int failures = 0;
  page_.onCall = [this, &failures](const PageCall& c) {
    if (c.function != L"SetStatusBoxForInitialClient" || c.args.at(0) != kFailedText) return;
    if (++failures == 1)
      SetEvent(retry_);  // RETRY after the first failure
    else if (failures == 2)
      SetEvent(page_.closed);  // Alt+F4 during the second wait
  };
  EXPECT_EQ(Run(L"/size/10", Refuse(), false), DownloadOutcome::kFailed);
  EXPECT_EQ(failures, 5);
  EXPECT_EQ(page_.sleeps, (std::vector<DWORD>{4000, 8000}));
}

TEST_F(DownloadAttemptsTest, AnAttemptWithoutANewFileFailsAndCutDownloadsLeaveNothing) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH), 0u);
  // The first attempt is cut short; from then on TEMP names a missing folder,
  // and no earlier file is taken up again.
  page_.onCall = [this](const PageCall& c) {
    if (c.function == L"SetStatusBoxForInitialClient" && c.args.at(0) == kFailedText) {
      SetEnvironmentVariableW(L"TEMP", L"C:\\no-such-folder-for-bastion-tests");
      SetEvent(retry_);
    }
  };
  DownloadOutcome outcome = Run(L"/drop/100000");
  SetEnvironmentVariableW(L"TEMP", temp);
  EXPECT_EQ(outcome, DownloadOutcome::kFailed);
  std::vector<USHORT> numbers = recorder_.Numbers(kProcedureGuid);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 17), 1);
  EXPECT_EQ(FilesLeft(), 0);
}

TEST_F(DownloadAttemptsTest, FailedFirstAttemptThenSuccess) {
  bool refuse = true;
  ServerCertificateCheck check = [&refuse](PCCERT_CONTEXT) { return !refuse; };
  page_.onCall = [this, &refuse](const PageCall& c) {
    if (c.function == L"SetStatusBoxForInitialClient" && c.args.at(0) == kFailedText) {
      refuse = false;
      SetEvent(retry_);
    }
  };
  ASSERT_EQ(Run(L"/size/4000", check, false), DownloadOutcome::kDownloaded);
  EXPECT_EQ(page_.StatusTexts(), (std::vector<std::wstring>{L"Initial Client: Downloading...", kFailedText,
                                                            L"Initial Client: Downloading...",
                                                            L"Initial Client: Installing..."}));
  EXPECT_EQ(page_.Count(L"ForceRetry"), 1);
  EXPECT_EQ(page_.Steps(), 102);
}

// ABORT and CLOSE end the stage at its next check, with the attempt's file
// deleted and the button's code kept for the run's end.
TEST_F(DownloadAttemptsTest, APressEndsTheStageAtItsNextCheckAndLeavesNoFile) {
  const struct {
    const char* name;
    bool attended;
    bool fails;  // every attempt fails: the server's certificate is refused
    // The page call on which the button is pressed.
    const wchar_t* function;
    std::wstring argument;
    const wchar_t* button;
    unsigned code;
    size_t statusTexts;
    std::vector<DWORD> sleeps;
  } kCases[] = {
      {"during the body", true, false, L"SetInitialClientProgress", L"1", L"ABORT", 1, 1, {}},
      {"during the connection", true, false, L"SetStatusBoxForInitialClient", L"Initial Client: Downloading...",
       L"\r\n          CLOSE\r\n        ", 2, 1, {}},
      {"during the RETRY wait", true, true, L"ForceRetry", L"", L"CLOSE", 2, 2, {}},
      {"during the back-off", false, true, L"SetStatusBoxForInitialClient", kFailedText, L"Abort pressed", 1, 2,
       {1000}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ResetEvent(abort_);
    SetAbortEvent(abort_);
    if (page_.closed != nullptr) CloseHandle(page_.closed);
    page_ = FakePage{&recorder_};
    page_.closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    page_.attended = c.attended;
    page_.onCall = [&c](const PageCall& call) {
      if (call.function == c.function && (call.args.empty() ? L"" : call.args.at(0)) == c.argument &&
          RequestedExitCode() == 0)
        PressFromAThread(c.button);
    };
    // 60 MiB: the body is still coming when the press is seen.
    EXPECT_EQ(c.fails ? Run(L"/size/10", Refuse(), false) : Run(L"/size/62914560"), DownloadOutcome::kAborted);
    EXPECT_EQ(RequestedExitCode(), c.code);
    EXPECT_EQ(page_.StatusTexts().size(), c.statusTexts);
    EXPECT_EQ(page_.sleeps, c.sleeps);
    EXPECT_TRUE(package_.path.empty());
    EXPECT_EQ(FilesLeft(), 0);
  }
  // A press before the stage starts no attempt at all.
  recorder_.Clear();
  CloseHandle(page_.closed);
  page_ = FakePage{&recorder_};
  EXPECT_EQ(Run(L"/size/10"), DownloadOutcome::kAborted);
  EXPECT_TRUE(page_.calls.empty());
  EXPECT_TRUE(recorder_.Numbers(kProcedureGuid).empty());
}

// The server's log lines for `path`, after the path: the user agent, and
// " Range=..." when the request had one.
std::vector<std::string> RequestsFor(const std::string& path) {
  std::vector<std::string> found;
  for (const std::string& line : ServerRequests()) {
    const std::string prefix = "GET " + path + " ";
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line.substr(prefix.size()));
  }
  return found;
}

// The byte a resumed attempt started at, from its log line.
unsigned long long ResumedAt(const std::vector<std::string>& lines, unsigned long long total) {
  const std::string ending = " of " + std::to_string(total);
  for (const std::string& line : lines) {
    const std::string prefix = "[InstallProcedure] Resuming BSX.msi at byte ";
    if (line.compare(0, prefix.size(), prefix) == 0 && line.size() > ending.size() &&
        line.compare(line.size() - ending.size(), ending.size(), ending) == 0)
      return std::stoull(line.substr(prefix.size()));
  }
  return 0;
}

// A cut costs only the missing bytes: the next attempt asks for the rest of
// the same file, and the page's progress goes on.
TEST_F(DownloadAttemptsTest, ACutDownloadIsResumedWhereItsFileEnds) {
  LogCapture log;
  PressRetryOnFailure();
  ASSERT_EQ(Run(L"/cutonce/ranged/300001"), DownloadOutcome::kDownloaded);
  EXPECT_EQ(ReadWholeFile(package_.path), Pattern(300001));
  const unsigned long long at = ResumedAt(log.Lines(), 300001);
  ASSERT_GT(at, 0u);
  ASSERT_LT(at, 300001u);
  EXPECT_EQ(RequestsFor("/cutonce/ranged/300001"),
            (std::vector<std::string>{"HTTP/1.0", "HTTP/1.0 Range=bytes=" + std::to_string(at) + "-"}));
  EXPECT_EQ(counts_.attempts, 2);
  EXPECT_EQ(counts_.bodyBytes, 300001u);
  std::vector<USHORT> numbers = recorder_.Numbers(kProcedureGuid);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 17), 1);
  EXPECT_EQ(page_.Steps(), 102);
}

// A 200 to a resumed request (a server that ignores ranges, or a file that
// changed since: If-Range) starts the file again and takes the new body whole.
TEST_F(DownloadAttemptsTest, AWholeAnswerToAResumedRequestRewritesTheFile) {
  struct Case {
    const wchar_t* path;
    size_t length;
    std::vector<BYTE> expected;
  };
  // The changing file's second version is the pattern from its byte 1.
  std::vector<BYTE> changed = Pattern(300004);
  changed.erase(changed.begin());
  const Case cases[] = {{L"/cutonce/ignorerange/ranged/300002", 300002, Pattern(300002)},
                        {L"/cutonce/changing/300003", 300003, changed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path, c.path + wcslen(c.path)));
    package_.Discard();
    counts_ = {};
    PressRetryOnFailure();
    LogCapture log;
    ASSERT_EQ(Run(c.path), DownloadOutcome::kDownloaded);
    EXPECT_EQ(ReadWholeFile(package_.path), c.expected);
    const unsigned long long at = ResumedAt(log.Lines(), c.length);
    EXPECT_GT(at, 0u);
    EXPECT_EQ(counts_.bodyBytes, at + c.length);
    const std::vector<std::string> requests = RequestsFor(std::string(c.path, c.path + wcslen(c.path)));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1], "HTTP/1.0 Range=bytes=" + std::to_string(at) + "-");
  }
  std::vector<USHORT> numbers = recorder_.Numbers(kProcedureGuid);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 17), 2) << "one file for each download";
}

// Neither a wrong Content-Range nor a failed write is resumed: the next
// attempt starts a fresh file with a plain request.
DWORD g_writesLeft = 0;
BOOL WINAPI WriteThenFail(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD done, LPOVERLAPPED overlapped) {
  if (g_writesLeft == 0) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  --g_writesLeft;
  return WriteFile(file, bytes, count, done, overlapped);
}

TEST_F(DownloadAttemptsTest, AWrongRangeOrAFailedWriteStartsAFreshFile) {
  PressRetryOnFailure();
  ASSERT_EQ(Run(L"/cutonce/badrange/ranged/300004"), DownloadOutcome::kDownloaded);
  EXPECT_EQ(ReadWholeFile(package_.path), Pattern(300004));
  const std::vector<std::string> requests = RequestsFor("/cutonce/badrange/ranged/300004");
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_NE(requests[1].find(" Range=bytes="), std::string::npos);
  EXPECT_EQ(requests[2], "HTTP/1.0");
  std::vector<USHORT> numbers = recorder_.Numbers(kProcedureGuid);
  EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 17), 2);
  EXPECT_EQ(FilesLeft(), 1) << "only the held package";

  package_.Discard();
  g_writesLeft = 3;
  place_.write = WriteThenFail;
  page_.onCall = [this](const PageCall& c) {
    if (c.function == L"SetStatusBoxForInitialClient" && c.args.at(0) == kFailedText) {
      g_writesLeft = UINT_MAX;
      SetEvent(retry_);
    }
  };
  ASSERT_EQ(Run(L"/cutonce/ranged/300005"), DownloadOutcome::kDownloaded);
  EXPECT_EQ(ReadWholeFile(package_.path), Pattern(300005));
  EXPECT_EQ(RequestsFor("/cutonce/ranged/300005"), (std::vector<std::string>{"HTTP/1.0", "HTTP/1.0"}));
}

}  // namespace
