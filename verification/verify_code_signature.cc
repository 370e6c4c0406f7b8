#include "verification/verify_code_signature.h"

#include <wintrust.h>

#include <cstddef>

#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/system_library.h"

namespace bastion {

namespace {

// {00AAC56B-CD44-11D0-8CC2-00C04FC295EE}
constexpr GUID kGenericVerifyV2 = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

// The request without its trailing signature-settings member (48 bytes in
// the 32-bit product), which every WinTrust version accepts.
constexpr DWORD kTrustDataSize = offsetof(WINTRUST_DATA, dwUIContext) + sizeof(DWORD);
static_assert(sizeof(void*) != 4 || kTrustDataSize == 48);

using WinVerifyTrustFn = LONG WINAPI(HWND, GUID*, LPVOID);

WinVerifyTrustFn* BoundWinVerifyTrust() {
  static SystemLibrary wintrust(L"WINTRUST.dll");
  static WinVerifyTrustFn* const fn = [] {
    WinVerifyTrustFn* bound = nullptr;
    BindExport(wintrust, "WinVerifyTrust", bound);
    return bound;
  }();
  return fn;
}

}  // namespace

bool VerifyCodeSignature(const wchar_t* path, LONG& status, HANDLE file) {
  WinVerifyTrustFn* winVerifyTrust = BoundWinVerifyTrust();
  if (winVerifyTrust == nullptr) return false;

  WINTRUST_FILE_INFO fileInfo = {};
  fileInfo.cbStruct = sizeof(WINTRUST_FILE_INFO);
  fileInfo.pcwszFilePath = path;
  fileInfo.hFile = file;

  WINTRUST_DATA request = {};
  request.cbStruct = kTrustDataSize;
  request.dwUIChoice = WTD_UI_NONE;
  request.fdwRevocationChecks = WTD_REVOKE_NONE;
  request.dwUnionChoice = WTD_CHOICE_FILE;
  request.pFile = &fileInfo;
  request.dwStateAction = WTD_STATEACTION_IGNORE;
  request.dwProvFlags = WTD_REVOCATION_CHECK_NONE;

  GUID action = kGenericVerifyV2;
  const LONG result =
      winVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &request);
  status = result;
  trace::Message(CodeSignatureTrace::kChecked, trace::kComponents, path, result == 0 ? 1UL : 0UL);
  return result == 0;
}

}  // namespace bastion
