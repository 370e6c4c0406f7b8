#include "Src/VTDropper/install_procedure.h"

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Src/VTDropper/config_blob.h"
#include "Src/VTDropper/create_package.h"
#include "Src/VTDropper/download_attempts.h"
#include "Src/VTDropper/installer_arguments.h"
#include "Src/VTDropper/installer_launch.h"
#include "Src/VTDropper/local_files.h"
#include "Src/VTDropper/module_image.h"
#include "Src/VTDropper/process_globals.h"
#include "Src/VTDropper/staging_folder.h"
#include "diagnostics/file_log.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/path_buffer.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "ui/window_procedure.h"
#include "ui/window_rules.h"
#include "verification/authenticate_signed_blob.h"
#include "verification/verify_code_signature.h"

namespace bastion {

namespace {

constexpr wchar_t kProductFolder[] = L"Veltrion\\Bastion Security Agent\\Bastion Common\\bin\\";

constexpr char kDownloadFailed[] = "Failed to download Windows Installer package (BSX.msi)!\n";
constexpr char kVerifyFailed[] = "Failed to download or verify Windows Installer package (BSX.msi)!\n";

// The configuration's text for the page and the download; bytes that are not
// UTF-8 become U+FFFD, and nothing converted is empty.
std::wstring Wide(const std::string& text) {
  return Utf8ToWide(text, InvalidUtf8::kReplace).value_or(std::wstring());
}

// The system's text for `error` in UTF-8, without its line end, on one line.
std::string SystemText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (length > 0) {
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
      --length;
    utf8 = WideToUtf8(std::wstring_view(text, length));
  }
  if (text != nullptr) LocalFree(text);
  // A text of several lines stays on the log's one line.
  for (char& c : utf8) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return utf8;
}

// " (error 5: Access is denied.)": the code (an HRESULT in hexadecimal) and
// the system's text for it, for the log line; " (error N)" when the system
// has no text; empty for 0.
std::string WindowsErrorDetail(unsigned long error) {
  if (error == 0) return {};
  char code[32];
  // HRESULTs (trust verdicts among them) read as their hexadecimal form.
  snprintf(code, sizeof(code), error >= 0x80000000UL ? "0x%08lX" : "%lu", error);
  std::string text = SystemText(static_cast<DWORD>(error));
  return std::string(" (error ") + code + (text.empty() ? "" : ": " + text) + ")";
}

// The window side's diagnostics: formatted with the runtime's wide rules
// (a wide "%s"), cut to 1023 characters.
void PageLog(const wchar_t* format, ...) {
  wchar_t text[1024];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 1023, format, args);
  va_end(args);
  text[1023] = L'\0';
  trace::Message(ProcedureTrace::kPage, trace::kSteps, text);
}

// True once the page's ABORT or CLOSE asked the run to end.
bool EndRequested() { return AbortEvent != nullptr && WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0; }

const char* PressedButton() { return RequestedExitCode() == kCloseExitCode ? "CLOSE" : "ABORT"; }

// The end of a run that ABORT or CLOSE asked for, with that button's exit
// code. The callers' owners delete the attempt's file or the package and
// remove the empty staging folder on the way out.
RunResult EndedByButton() {
  BASTION_LOG(spdlog::level::info, "InstallProcedure", "Setup ended by the {} button", PressedButton());
  const unsigned code = RequestedExitCode();
  return Finished(static_cast<int>(code != 0 ? code : kAbortExitCode));
}

// Where config.dat goes in installation mode: the product folder, created.
// Empty with the step's failure in `failure`.
std::wstring ProductConfigPath(RunResult& failure) {
  std::wstring programFiles = ProgramFilesFolder();
  if (programFiles.empty()) {
    failure = Fail("Failed to find program files folder\n");
    return {};
  }
  PathBuffer folder;
  if (!folder.Append(programFiles.c_str()) || !folder.Append(L"\\") || !folder.Append(kProductFolder)) {
    failure = Fail("Failed to create our program files folder\n");
    return {};
  }
  const Win32Result created = CreateDirectoryChain(folder.c_str());
  if (!created || !folder.Append(L"config.dat")) {
    failure = Fail("Failed to create our program files folder for config.dat\n", created.error());
    return {};
  }
  return folder.c_str();
}

// The installer's exit code for the log, with the system's text where there
// is one; a code that asks for nothing but a reboot is no failure.
void LogInstallerExitCode(DWORD code) {
  const bool succeeded = code == ERROR_SUCCESS || code == ERROR_SUCCESS_REBOOT_REQUIRED ||
                         code == ERROR_SUCCESS_REBOOT_INITIATED;
  const std::string text = SystemText(code);
  BASTION_LOG(succeeded ? spdlog::level::info : spdlog::level::err, "InstallProcedure", "Installer exit code {}{}",
              code, text.empty() ? "" : ": " + text);
}

// `downloads` receives what the run's last log line counts.
RunResult InstallProcedure(bool verify, bool createPackage, DownloadCounts& downloads) {
  const bool interactive = IsInteractiveWindowStation();
  if (interactive) ReleaseConsoleIfOwnedAlone();

  ModuleImage image;
  const uint8_t* view = nullptr;
  uint32_t viewSize = 0;
  bool publisherFallback = false;
  const ModuleImageResult opened = image.Open(view, viewSize, publisherFallback);
  if (!opened.ok) {
    trace::Message(ProcedureTrace::kOwnImageUnavailable, trace::kSteps);
    return Fail("Failed to initialize Bastion Setup!\n", opened.error);
  }

  const bool install = !verify && !createPackage;
  if (install && IsAgentInstalled()) {
    if (interactive)
      MessageBoxA(nullptr, "Bastion already installed. Nothing to do. Use /? For more options", "Error", 0);
    return {kExitSuccess, "Bastion Agent already installed!\n"};
  }

  const auto bounds = LocateBlob(view, viewSize);
  if (!bounds) return Fail("Failed to parse configuration data!\n");
  trace::Message(ProcedureTrace::kConfigurationBlobFound, trace::kSteps);
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(bounds->length),
                          const_cast<BYTE*>(view + bounds->offset)};
  std::vector<BYTE> document;
  if (AuthenticateSignedBlob(blob, document, nullptr, SignedContent::kConfiguration) != 1)
    return Fail("Failed to authenticate BastionSetup!\n");

  const ConfigDocument config(document);
  const std::string configDat = MakeConfigDat(config.GetElement("AG_CONFIG"));
  const std::string serverUrl = config.GetElement("URL");
  trace::Message(ProcedureTrace::kServerUrl, trace::kSteps, serverUrl.c_str());
  BASTION_LOG(spdlog::level::info, "InstallProcedure", "Bastion Setup: Found an URL: {}", serverUrl);

  ServerAddress server;
  if (!SplitServerUrl(serverUrl, server)) return Fail("Failed to parse internal data!\n");

  if (verify) {
    fprintf(stderr, "Config Dat:\n%s\n", configDat.c_str());
    fprintf(stderr, "URL:\n%s\n", serverUrl.c_str());
    return Finished(kExitSuccess);
  }

  WebInstance* page = nullptr;
  const std::wstring serverName = Wide(config.GetAttribute("server", "fqdn"));
  SetRetryEvent(RetryEvent);
  SetAbortEvent(AbortEvent);
  if (StartProgressWindow(&page, PageLog, serverName.c_str()) == ProgressWindowStart::kNoPage)
    return Fail("Failed to parse internal data! (html)\n");

  // Only a person at a visible station outside session 0, which has none,
  // can press RETRY.
  const bool attended = interactive && IsInUserSession();
  // Declared before the package so that the folder goes only after the hold.
  StagingFolder staging(StagingForThisProcess());
  HeldPackage package;
  // No attempt was made, so the trace of failed attempts (33) is not sent.
  if (!staging.ok()) return Fail(kDownloadFailed, staging.error());
  const DownloadOutcome downloaded =
      DownloadPackage(ProgressWindowPage(attended), page, Wide(server.host), Wide(server.path),
                      ConfigurationSignerCheck(blob, document), !publisherFallback, RetryEvent, AbortEvent,
                      staging.place(), package, downloads);
  if (downloaded == DownloadOutcome::kAborted) return EndedByButton();
  if (downloaded != DownloadOutcome::kDownloaded) {
    trace::Message(ProcedureTrace::kAllDownloadsFailed, trace::kSteps);
    return Fail(kDownloadFailed);
  }

  // The hold keeps the package from being renamed, replaced or written
  // between its signature check and the installer's end.
  const std::wstring installerArguments = InstallerArguments(package.path);
  LONG trustStatus = 0;
  if (!VerifyCodeSignature(package.path.c_str(), trustStatus, package.handle.Get())) {
    package.Discard();
    return Fail(kVerifyFailed, static_cast<unsigned long>(trustStatus));
  }
  // Only our own publisher's packages, not any that the system trusts.
  if (!PackageFromOurPublisher(package.path.c_str())) {
    package.Discard();
    return Fail(kVerifyFailed);
  }
  trace::Message(ProcedureTrace::kPackageTrusted, trace::kSteps);
  BASTION_LOG(spdlog::level::info, "InstallProcedure", "BSX.msi verified");
  // Before anything is written: /createmsi's config.dat and package edit, or
  // the installation's.
  if (EndRequested()) {
    package.Discard();
    return EndedByButton();
  }

  if (createPackage) {
    const std::wstring moduleDirectory = ModuleDirectory();
    if (moduleDirectory.empty()) return Fail("Failed to save config.dat\n");
    return CreateConfiguredPackage(package, moduleDirectory, configDat, staging.place().privateFiles, stderr);
  }

  RunResult failure;
  const std::wstring configPath = ProductConfigPath(failure);
  if (configPath.empty()) return failure;

  WriteResult written = WriteBytesToFile(configPath.c_str(),
                                         reinterpret_cast<const unsigned char*>(configDat.data()),
                                         configDat.size());
  if (!written.outcome) return Fail("Failed to save config.dat\n", written.outcome.error());
  trace::Message(ProcedureTrace::kConfigDatSaved, trace::kSteps);
  BASTION_LOG(spdlog::level::info, "InstallProcedure", "config.dat saved");
  written.file.Close();

  if (StoreVpnConfiguration(config.GetElement("VPN_CONFIG")))
    trace::Message(ProcedureTrace::kVpnConfigurationWritten, trace::kSteps);

  ScopedKernelHandle otherInstallation = OpenInstallerMutex();
  if (otherInstallation.IsValid())
    return {kExitInstallAlreadyRunning, "Setup failed, since another installation is currently in progress\n", 0,
            true};

  if (EndRequested()) {
    package.Discard();
    return EndedByButton();
  }
  // From here on a press is only noted: the installer is not stopped half-way,
  // and the run ends with its code.
  LaunchRecord launch = {};
  const std::wstring installerLog = InstallerLogPath(package.path);
  if (!LaunchInstaller(&launch, L"msiexec.exe", installerArguments.c_str(), installerLog.c_str())) {
    trace::Message(ProcedureTrace::kInstallerNotRun, trace::kSteps);
    BASTION_LOG(spdlog::level::err, "InstallProcedure", "Installer not started{}", WindowsErrorDetail(launch.error));
    return Finished(kExitInstallFailure);
  }
  if (EndRequested())
    BASTION_LOG(spdlog::level::info, "InstallProcedure", "{} pressed while the installer ran: ignored",
                PressedButton());
  trace::Message(ProcedureTrace::kInstallerRan, trace::kSteps);
  LogInstallerExitCode(launch.exitCode);
  return Finished(static_cast<int>(launch.exitCode));
}

// The one place a run's end is reported: its line on standard error, and the
// same line in the log with the Windows error behind it; then the log's last
// line for the run, with what an administrator asks first.
int Report(const RunResult& result, const DownloadCounts& downloads, ULONGLONG startedMs) {
  if (!result.message.empty()) {
    fprintf(stderr, "%s", result.message.c_str());
    std::string line = result.message;
    if (line.back() == '\n') line.pop_back();
    BASTION_LOG(result.logAsInfo ? spdlog::level::info : spdlog::level::err, "InstallProcedure", "{}{}", line,
                WindowsErrorDetail(result.windowsError));
  }
  // Whole milliseconds: the stub's fmt has no floating-point formatting.
  const ULONGLONG elapsedMs = GetTickCount64() - startedMs;
  BASTION_LOG(spdlog::level::info, "InstallationWrapper",
              "Run ended: exit code {}, {} download attempts, {} body bytes received, {}.{:03} s", result.exitCode,
              downloads.attempts, downloads.bodyBytes, elapsedMs / 1000, elapsedMs % 1000);
  return result.exitCode;
}

}  // namespace

int InstallationWrapper(bool verify, bool createPackage, void (*onStart)()) {
  const ULONGLONG startedMs = GetTickCount64();
  try {
    SetUpFileLog();
  } catch (...) {
  }
  BASTION_LOG(spdlog::level::info, "InstallationWrapper", "Starting");
  trace::Message(ProcedureTrace::kStarting, trace::kSteps);
  RunResult result;
  DownloadCounts downloads;
  try {
    if (onStart != nullptr) onStart();
    result = InstallProcedure(verify, createPackage, downloads);
  } catch (...) {
    result = Fail("Bastion Setup failed!\n");
  }
  return Report(result, downloads, startedMs);
}

}  // namespace bastion
