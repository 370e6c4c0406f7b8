// The download stage of the installation: up to five attempts, each with a
// new connection, resuming the file of a cut attempt or else writing a new
// temporary file, progress on the page's
// initial-client bar, and a wait for RETRY after each failed attempt when
// someone can press it, a bounded pause otherwise, and an end as soon as
// ABORT or CLOSE is pressed; and the check of the download server's
// certificate when the program, not the system, decides.
#ifndef BASTION_SRC_VTDROPPER_DOWNLOAD_ATTEMPTS_H_
#define BASTION_SRC_VTDROPPER_DOWNLOAD_ATTEMPTS_H_

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <vector>

#include "Src/Httphelper/http_helper.h"
#include "ui/web_instance.h"

namespace bastion {

// How the stage reaches the page and the person in front of it.
struct DownloadPage {
  int (*runCommand)(WebInstance*, const wchar_t*, int, const wchar_t* const*);
  HWND (*window)(const WebInstance*);
  HANDLE (*closedEvent)(const WebInstance*);
  // Whether the page's script showed RETRY when asked to.
  bool (*retryShown)(const WebInstance*);
  // The pause between attempts when nobody can press RETRY: a wait on the
  // abort event with the pause as its time-out.
  DWORD(WINAPI* wait)(HANDLE, DWORD);
  // A person can be at the window: the station is visible and the session
  // is not session 0.
  bool attended;
};

// The progress window itself.
inline DownloadPage ProgressWindowPage(bool attended) {
  return {RunCommand, WebInstanceWindow, WebInstanceGoneEvent, WebInstanceRetryShown, WaitForSingleObject, attended};
}

// Pauses between attempts when nobody can press RETRY, in milliseconds,
// after the first to the fourth failure.
inline constexpr DWORD kNoWindowBackOffMs[4] = {1000, 2000, 4000, 8000};

enum class DownloadOutcome {
  kDownloaded,  // the package is held in `package`
  kFailed,      // five attempts failed
  kAborted,     // `abortEvent` was set: ABORT or CLOSE was pressed
};

// What the attempts did, for the run's last log line.
struct DownloadCounts {
  int attempts = 0;
  // Body bytes received over all attempts.
  unsigned long long bodyBytes = 0;
};

// An attempt writes a new file in `place` (environment variables expanded),
// or resumes the file of an attempt that was cut short: only from a 200
// response with a validator, and only while the file has part of that
// response's length. Any other file of a failed attempt is deleted before
// the next; whatever is left is deleted when the stage ends without a hold,
// aborted or not. `retryEvent` is the auto-reset event the page's RETRY
// button sets; the stage waits on it only while the page is attended, its
// window exists, RETRY is shown and the window's end can be told (both
// events exist). `abortEvent` (manual-reset; null for none) ends the stage
// at its next check: each attempt's start, after the connection, each chunk,
// and the waits between attempts.
DownloadOutcome DownloadPackage(const DownloadPage& page, WebInstance* instance, const std::wstring& host,
                                const std::wstring& objectPath, const ServerCertificateCheck& serverCertificateCheck,
                                bool useSystemTrust, HANDLE retryEvent, HANDLE abortEvent, const StagingPlace& place,
                                HeldPackage& package, DownloadCounts& counts);

// The server must present a certificate with a pinned key that signed the
// embedded configuration. The check holds `blob` and `document` by reference:
// both must outlive it. `document` receives the configuration content as the
// signature check's output.
ServerCertificateCheck ConfigurationSignerCheck(const CRYPT_DATA_BLOB& blob, std::vector<BYTE>& document);

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_DOWNLOAD_ATTEMPTS_H_
