#include "Src/VTDropper/download_attempts.h"

#include <memory>
#include <optional>

#include "Src/Httphelper/temporary_file.h"
#include "Src/VTDropper/download_progress.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
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

// Whether a RETRY press can come: someone is there, the window is, the page
// shows the button, and a closed window would end the wait.
bool RetryCanBePressed(const DownloadPage& page, WebInstance* instance, HANDLE retryEvent) {
  return page.attended && retryEvent != nullptr && page.window(instance) != nullptr &&
         page.retryShown(instance) && page.closedEvent(instance) != nullptr;
}

// After a failed attempt: the wait for RETRY while someone can press it, a
// bounded pause otherwise. Clears `pressable` once no press can come any more.
void WaitBeforeNextAttempt(const DownloadPage& page, WebInstance* instance, HANDLE retryEvent, int attempt,
                           bool& pressable) {
  if (pressable && RetryCanBePressed(page, instance, retryEvent)) {
    HANDLE events[2] = {retryEvent, page.closedEvent(instance)};
    DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) return;
    pressable = false;
    // The window closed while someone looked at it: go on at once.
    if (woken == WAIT_OBJECT_0 + 1) return;
  }
  pressable = false;
  if (attempt < kAttempts - 1) page.sleep(kNoWindowBackOffMs[attempt]);
}

}  // namespace

bool DownloadPackage(const DownloadPage& page, WebInstance* instance, const std::wstring& host,
                     const std::wstring& objectPath, const ServerCertificateCheck& serverCertificateCheck,
                     bool useSystemTrust, HANDLE retryEvent, const StagingPlace& place, HeldPackage& package,
                     DownloadCounts& counts) {
  DownloadProgress progress;
  bool pressable = true;
  // The file outlives an attempt that may be resumed; each fresh file
  // replaces it, and the one left deletes itself unless held.
  std::optional<TemporaryFile> file;
  // Of the 200 response that started the current file.
  std::wstring validator;
  unsigned long long total = 0;
  bool resumable = false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    counts.attempts = attempt + 1;
    PageCall(page, instance, kStatusFunction, kDownloading);
    std::optional<ResumeRequest> resume;
    if (file && resumable && !validator.empty() && file->size() > 0 && file->size() < total)
      resume = ResumeRequest{file->size(), total, validator};
    auto helper = std::make_unique<HTTPHelper>(host.c_str(), objectPath.c_str(), serverCertificateCheck,
                                               useSystemTrust, resume);
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
        BASTION_LOG(spdlog::level::info, kLogFunction, L"Temp file was generated in temp folder {}",
                    file->path().c_str());
      }
      progress.Reset();
    }
    const BodyOutcome outcome = helper->DownloadFile(*file, [&page, instance, &progress](DWORD) {
      if (progress.OnChunk()) PageCall(page, instance, kProgressFunction, L"1");
    });
    counts.bodyBytes += outcome.bodyBytes;
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
      return true;
    }
    // Deleted before any wait unless the next attempt may resume it.
    if (!resumable) file.reset();
    PageCall(page, instance, kStatusFunction, kFailed);
    if (attempt == 0) page.runCommand(instance, L"ForceRetry", 0, nullptr);
    WaitBeforeNextAttempt(page, instance, retryEvent, attempt, pressable);
    helper.reset();
  }
  return false;
}

ServerCertificateCheck ConfigurationSignerCheck(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& document) {
  return [&blob, &document](PCCERT_CONTEXT certificate) {
    trace::Message(ProcedureTrace::kCheckingServerCertificate, trace::kSteps);
    return AuthenticateSignedBlob(blob, document, certificate, SignedContent::kConfiguration) == 1;
  };
}

}  // namespace bastion
