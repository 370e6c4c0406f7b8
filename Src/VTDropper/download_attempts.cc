#include "Src/VTDropper/download_attempts.h"

#include <memory>
#include <optional>

#include "Src/Httphelper/temporary_file.h"
#include "Src/VTDropper/download_progress.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/text.h"
#include "verification/authenticate_signed_blob.h"

namespace bastion {

namespace {

constexpr char kLogFunction[] = "InstallProcedure";
constexpr int kAttempts = 5;

constexpr wchar_t kStatusFunction[] = L"SetStatusBoxForInitialClient";
constexpr wchar_t kProgressFunction[] = L"SetInitialClientProgress";
constexpr wchar_t kDownloading[] = L"Initial Client: Downloading...";
constexpr wchar_t kInstalling[] = L"Initial Client: Installing...";
constexpr wchar_t kFailed[] =
    L"Initial Client: <span style=\"color: red; \">Failed to download files</span>";

void PageCall(const DownloadPage& page, WebInstance* instance, const wchar_t* function, const wchar_t* text) {
  const wchar_t* argv[] = {text};
  page.runCommand(instance, function, 1, argv);
}

// Whether ABORT or CLOSE was pressed. The checks sit between WinHTTP's
// calls, which nothing interrupts, so the worst-case delay between a press
// and the end of the run is one blocking call: during the connection, the
// proxy discovery plus, for every proxy tried, the 5 s connect time-out and
// WinHTTP's 30 s send and 30 s receive time-outs; during the body, one 30 s
// receive time-out. The waits between attempts end at once.
bool AbortPressed(HANDLE abortEvent) {
  return abortEvent != nullptr && WaitForSingleObject(abortEvent, 0) == WAIT_OBJECT_0;
}

// Whether a RETRY press can come: someone is there, the window is, the page
// shows the button, and a closed window would end the wait.
bool RetryCanBePressed(const DownloadPage& page, WebInstance* instance, HANDLE retryEvent) {
  return page.attended && retryEvent != nullptr && page.window(instance) != nullptr &&
         page.retryShown(instance) && page.closedEvent(instance) != nullptr;
}

// After a failed attempt: the wait for RETRY while someone can press it, a
// bounded pause otherwise; false when ABORT or CLOSE ended it. Clears
// `pressable` once no press can come any more.
bool WaitBeforeNextAttempt(const DownloadPage& page, WebInstance* instance, HANDLE retryEvent, HANDLE abortEvent,
                           int attempt, bool& pressable) {
  if (pressable && RetryCanBePressed(page, instance, retryEvent)) {
    HANDLE events[3] = {retryEvent, page.closedEvent(instance), abortEvent};
    DWORD woken = WaitForMultipleObjects(abortEvent != nullptr ? 3 : 2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) return true;
    if (woken == WAIT_OBJECT_0 + 2) return false;
    pressable = false;
    // The window closed while someone looked at it: go on at once.
    if (woken == WAIT_OBJECT_0 + 1) return true;
  }
  pressable = false;
  if (attempt >= kAttempts - 1) return true;
  // Without an abort event the pause waits on our own process, which is not
  // signalled while it runs.
  HANDLE wakes = abortEvent != nullptr ? abortEvent : GetCurrentProcess();
  return page.wait(wakes, kNoWindowBackOffMs[attempt]) != WAIT_OBJECT_0;
}

}  // namespace

DownloadOutcome DownloadPackage(const DownloadPage& page, WebInstance* instance, const std::wstring& host,
                                const std::wstring& objectPath, const ServerCertificateCheck& serverCertificateCheck,
                                bool useSystemTrust, HANDLE retryEvent, HANDLE abortEvent, const StagingPlace& place,
                                HeldPackage& package, DownloadCounts& counts) {
  DownloadProgress progress;
  bool pressable = true;
  // The file outlives an attempt that may be resumed; each fresh file
  // replaces it, and the one left deletes itself unless held, also when the
  // stage is aborted.
  std::optional<TemporaryFile> file;
  // Of the 200 response that started the current file.
  std::wstring validator;
  unsigned long long total = 0;
  bool resumable = false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (AbortPressed(abortEvent)) return DownloadOutcome::kAborted;
    counts.attempts = attempt + 1;
    PageCall(page, instance, kStatusFunction, kDownloading);
    std::optional<ResumeRequest> resume;
    if (file && resumable && !validator.empty() && file->size() > 0 && file->size() < total)
      resume = ResumeRequest{file->size(), total, validator};
    auto helper = std::make_unique<HTTPHelper>(host.c_str(), objectPath.c_str(), serverCertificateCheck,
                                               useSystemTrust, resume);
    // The construction connected and sent, bounded only by WinHTTP's time-outs.
    if (AbortPressed(abortEvent)) return DownloadOutcome::kAborted;
    if (resume) {
      BASTION_LOG(spdlog::level::info, kLogFunction, "Resuming BSX.msi at byte {} of {}", resume->offset, total);
    } else {
      file.reset();
      file.emplace(place);
      file->Create();
      validator.clear();
      total = 0;
      if (file->created()) {
        trace::Message(ProcedureTrace::kTemporaryPackageNamed, trace::kSteps);
        BASTION_LOG(spdlog::level::info, kLogFunction, "Temp file was generated in temp folder {}",
                    WideToUtf8(file->path()));
      }
      progress.Reset();
    }
    bool aborted = false;
    const BodyOutcome outcome =
        helper->DownloadFile(*file, [&page, instance, &progress, abortEvent, &aborted](DWORD) {
          aborted = AbortPressed(abortEvent);
          if (aborted) return false;
          if (progress.OnChunk()) PageCall(page, instance, kProgressFunction, L"1");
          return true;
        });
    counts.bodyBytes += outcome.bodyBytes;
    if (aborted) return DownloadOutcome::kAborted;
    if (outcome.started) {
      validator = outcome.validator;
      total = outcome.length;
    }
    resumable = outcome.resumable;
    bool downloaded = outcome.complete;
    // A file that is not the one written, or not as written, fails the
    // attempt like a cut download, and the next one starts afresh.
    if (downloaded && !file->Hold(package)) {
      downloaded = false;
      resumable = false;
      BASTION_LOG(spdlog::level::info, kLogFunction, "BSX.msi changed after download: {}", file->lastError());
    }
    if (downloaded) {
      file.reset();
      trace::Message(ProcedureTrace::kPackageDownloaded, trace::kSteps);
      while (progress.NextFillStep()) PageCall(page, instance, kProgressFunction, L"1");
      helper.reset();
      trace::Message(ProcedureTrace::kDownloaderClosed, trace::kSteps);
      BASTION_LOG(spdlog::level::info, kLogFunction, "BSX.msi downloaded");
      PageCall(page, instance, kStatusFunction, kInstalling);
      return DownloadOutcome::kDownloaded;
    }
    // Deleted before any wait unless the next attempt may resume it.
    if (!resumable) file.reset();
    PageCall(page, instance, kStatusFunction, kFailed);
    if (attempt == 0) page.runCommand(instance, L"ForceRetry", 0, nullptr);
    if (!WaitBeforeNextAttempt(page, instance, retryEvent, abortEvent, attempt, pressable))
      return DownloadOutcome::kAborted;
    helper.reset();
  }
  return DownloadOutcome::kFailed;
}

ServerCertificateCheck ConfigurationSignerCheck(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& document) {
  return [&blob, &document](PCCERT_CONTEXT certificate) {
    trace::Message(ProcedureTrace::kCheckingServerCertificate, trace::kSteps);
    return AuthenticateSignedBlob(blob, document, certificate, SignedContent::kConfiguration) == 1;
  };
}

}  // namespace bastion
