// The program's trace messages by name. Each enum class is one message GUID
// with its numbered messages, as described in diagnostics/tmf/<GUID>.tmf;
// trace::Message(ProcedureTrace::kConfigDatSaved, trace::kSteps) sends
// message 21 under the procedure's GUID. tools/trace_points.py reads this
// file, so each set keeps this shape: the enum class, then its GUID.
#ifndef BASTION_DIAGNOSTICS_TRACE_IDS_H_
#define BASTION_DIAGNOSTICS_TRACE_IDS_H_

#include <windows.h>

#include "diagnostics/trace.h"

namespace bastion {

// The installation procedure, its create-package mode and the log set-up.
enum class ProcedureTrace : USHORT {
  kPage = 10,
  kAppDataFolderNotFound = 11,
  kStarting = 12,
  kOwnImageUnavailable = 13,
  kConfigurationBlobFound = 14,
  kServerUrl = 15,
  kCheckingServerCertificate = 16,
  kTemporaryPackageNamed = 17,
  kPackageDownloaded = 18,
  kDownloaderClosed = 19,
  kPackageTrusted = 20,
  kConfigDatSaved = 21,
  kCreatePackageBegins = 22,
  kOpenPackageFailed = 23,
  kOpenBinaryViewFailed = 24,
  kAddConfigDatFailed = 25,
  kCommitBinaryFailed = 26,
  kOpenPropertyViewFailed = 27,
  kSetReconfFailed = 28,
  kCommitReconfFailed = 29,
  kVpnConfigurationWritten = 30,
  kInstallerRan = 31,
  kInstallerNotRun = 32,
  kAllDownloadsFailed = 33,
};
template <>
struct trace::MessageGuid<ProcedureTrace> {
  // {836579AB-A681-3146-B02F-8986F8BE98D8}
  static constexpr GUID value = {0x836579AB, 0xA681, 0x3146, {0xB0, 0x2F, 0x89, 0x86, 0xF8, 0xBE, 0x98, 0xD8}};
};

// Opening, checking and mapping the program's own executable.
enum class ModuleImageTrace : USHORT {
  kOpenFailed = 10,
  kSignatureRefused = 11,
  kMappingFailed = 12,
  kViewFailed = 13,
  kMapped = 14,
};
template <>
struct trace::MessageGuid<ModuleImageTrace> {
  // {2838AA93-000F-3695-1FA2-7C7CEB448435}
  static constexpr GUID value = {0x2838AA93, 0x000F, 0x3695, {0x1F, 0xA2, 0x7C, 0x7C, 0xEB, 0x44, 0x84, 0x35}};
};

// The code-signature verification.
enum class CodeSignatureTrace : USHORT {
  kChecked = 10,
};
template <>
struct trace::MessageGuid<CodeSignatureTrace> {
  // {560ECF44-EBC7-3705-C1AE-A8BC860E95C4}
  static constexpr GUID value = {0x560ECF44, 0xEBC7, 0x3705, {0xC1, 0xAE, 0xA8, 0xBC, 0x86, 0x0E, 0x95, 0xC4}};
};

// The certificate checks of the configuration and the server.
enum class SignedBlobTrace : USHORT {
  kCryptoFunctionMissing = 10,
  kMessageOpened = 11,
  kMessageNotOpened = 12,
  kBlobDecoded = 13,
  kBlobRejected = 14,
  kContentSizeRead = 15,
  kContentSizeNotRead = 16,
  kContentRead = 17,
  kContent = 18,
  kContentNotRead = 19,
  kSignerInfoRead = 20,
  kSignerInfoSizeNotRead = 21,
  kSignerInfoNotRead = 22,
  kPinnedCertificateSizeFailed = 23,
  kPinnedCertificateConversionFailed = 24,
  kPinnedCertificateAdded = 25,
  kPinnedCertificateNotAdded = 26,
  kStoreNotCreated = 27,
  kSignatureVerified = 28,
  kVerifiedWithCallersCertificate = 29,
  kSignatureNotVerified = 30,
  kContentTypeRefused = 32,
};
template <>
struct trace::MessageGuid<SignedBlobTrace> {
  // {CAF70D55-53F4-3626-9857-1162CD64E3FB}
  static constexpr GUID value = {0xCAF70D55, 0x53F4, 0x3626, {0x98, 0x57, 0x11, 0x62, 0xCD, 0x64, 0xE3, 0xFB}};
};

// Binding the system libraries.
enum class SystemLibraryTrace : USHORT {
  kSystemFolderNotObtained = 10,
  kPathTooLong = 11,
  kNotLoaded = 12,
  kNotReleased = 13,
  kFunctionNotFound = 14,
};
template <>
struct trace::MessageGuid<SystemLibraryTrace> {
  // {DA23199C-BA3D-3F74-B6D0-0AD7740DC537}
  static constexpr GUID value = {0xDA23199C, 0xBA3D, 0x3F74, {0xB6, 0xD0, 0x0A, 0xD7, 0x74, 0x0D, 0xC5, 0x37}};
};

// The installer launch.
enum class LaunchTrace : USHORT {
  kSystemFolderNotRead = 10,
  kExecutablePathTooLong = 11,
  kCommandLineTooLong = 12,
  kCreateProcessFailed = 13,
  kInstallerExited = 14,
  kExitCodeNotRead = 15,
};
template <>
struct trace::MessageGuid<LaunchTrace> {
  // {86C4D110-17B7-3A4F-D5F3-ED751D0C2D1F}
  static constexpr GUID value = {0x86C4D110, 0x17B7, 0x3A4F, {0xD5, 0xF3, 0xED, 0x75, 0x1D, 0x0C, 0x2D, 0x1F}};
};

// The HTTP downloader.
enum class HttpTrace : USHORT {
  kConnecting = 10,
  kOpeningSession = 11,
  kCheckingCertificateOurselves = 12,
  kRequestOpened = 13,
  kConnectTimeoutSet = 14,
  kProxyResolution = 15,
  kSent = 16,
  kNoResponse = 17,
  kSendFailed = 18,
  kNotConnected = 19,
  kCannotCreateFile = 20,
  kQueryDataAvailableFailed = 21,
  kReadDataFailed = 22,
  kWriteFileFailed = 23,
  kIncompleteBody = 24,
  kDownloadNoResponse = 25,
  kResumeRefused = 26,
};
template <>
struct trace::MessageGuid<HttpTrace> {
  // {FA21097F-3991-3E8F-A71F-66FF52E71716}
  static constexpr GUID value = {0xFA21097F, 0x3991, 0x3E8F, {0xA7, 0x1F, 0x66, 0xFF, 0x52, 0xE7, 0x17, 0x16}};
};

// The logged-on user impersonation.
enum class ImpersonationTrace : USHORT {
  kSessionLibraryLoaded = 10,
  kEnumeratingSessions = 11,
  kEnumerationFailed = 12,
  kSessionChosen = 13,
  kUserTokenNotObtained = 14,
  kTokenNotDuplicated = 15,
  kImpersonationFailed = 16,
  kImpersonating = 17,
};
template <>
struct trace::MessageGuid<ImpersonationTrace> {
  // {81C058A3-29C4-36FC-FE7C-2D1744F52835}
  static constexpr GUID value = {0x81C058A3, 0x29C4, 0x36FC, {0xFE, 0x7C, 0x2D, 0x17, 0x44, 0xF5, 0x28, 0x35}};
};

}  // namespace bastion

#endif  // BASTION_DIAGNOSTICS_TRACE_IDS_H_
