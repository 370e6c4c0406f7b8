#include "Src/VTDropper/module_image.h"

#include <string>
#include <vector>

#include "Src/VTDropper/local_files.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/object_security.h"
#include "verification/authenticate_signed_blob.h"
#include "verification/der.h"
#include "verification/verify_code_signature.h"

namespace bastion {

namespace {

// The error of a failed step, which a step that failed without setting one
// must not turn into success.
DWORD FailureCode(DWORD error) { return error != ERROR_SUCCESS ? error : ERROR_INVALID_FUNCTION; }

ModuleImageResult Failed(DWORD error) { return {false, FailureCode(error)}; }

// A read-only view of an open file that lasts for one look at it.
class TemporaryView {
 public:
  explicit TemporaryView(HANDLE file)
      : mapping_(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)),
        view_(mapping_.IsValid() ? MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr) {}
  const uint8_t* data() const { return static_cast<const uint8_t*>(view_.Get()); }

 private:
  // Made in this order; the view goes before the mapping.
  ScopedKernelHandle mapping_;
  ScopedMappedView view_;
};

// Answers given only after the signature and the file digest checked out:
// they concern the certificate chain alone.
bool IsChainRefusal(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_EXPIRED:
    case CERT_E_WRONG_USAGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

ModuleImageResult ModuleImage::Open(const uint8_t*& view, uint32_t& size,
                                    bool& publisherFallback) {
  DWORD error = ERROR_SUCCESS;
  const std::wstring path = LongModulePath(error);
  if (path.empty()) {
    trace::Message(ModuleImageTrace::kOpenFailed, trace::kComponents, error);
    return Failed(error);
  }
  return OpenPath(path.c_str(), view, size, publisherFallback);
}

ModuleImageResult ModuleImage::OpenPath(const wchar_t* path, const uint8_t*& view, uint32_t& size,
                                        bool& publisherFallback) {
  Close();
  SECURITY_ATTRIBUTES* security = GetObjectSecurity();
  // Never OPEN_ALWAYS: a name that misses our file must not create one.
  file_ = ScopedKernelHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, security, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_.IsValid()) {
    const DWORD error = GetLastError();
    trace::Message(ModuleImageTrace::kOpenFailed, trace::kComponents, error);
    return Failed(error);
  }
  const DWORD refused = CheckSignature(path, publisherFallback);
  if (refused != ERROR_SUCCESS) return Failed(refused);
  size_ = GetFileSize(file_.Get(), nullptr);
  mapping_ = ScopedKernelHandle(CreateFileMappingW(file_.Get(), security, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping_.IsValid()) {
    const DWORD error = GetLastError();
    trace::Message(ModuleImageTrace::kMappingFailed, trace::kComponents, error);
    return Failed(error);
  }
  view_ = ScopedMappedView(MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0));
  if (!view_.IsValid()) {
    const DWORD error = GetLastError();
    trace::Message(ModuleImageTrace::kViewFailed, trace::kComponents, error);
    return Failed(error);
  }
  trace::Message(ModuleImageTrace::kMapped, trace::kComponents);
  view = static_cast<const uint8_t*>(view_.Get());
  size = size_;
  return {true, ERROR_SUCCESS};
}

DWORD ModuleImage::CheckSignature(const wchar_t* path, bool& publisherFallback) {
  LONG status = 0;
  if (VerifyCodeSignature(path, status, file_.Get())) return ERROR_SUCCESS;
  // WinTrust's own status, or why it could not be reached.
  const DWORD refusal = FailureCode(status != 0 ? static_cast<DWORD>(status) : GetLastError());
  trace::Message(ModuleImageTrace::kSignatureRefused, trace::kComponents, refusal);
  LARGE_INTEGER fileSize = {};
  if (!GetFileSizeEx(file_.Get(), &fileSize)) return FailureCode(GetLastError());
  if (fileSize.QuadPart <= 0) return refusal;
  TemporaryView whole(file_.Get());
  if (whole.data() == nullptr) return FailureCode(GetLastError());
  if (!PublisherSignatureAccepted(status, whole.data(), static_cast<size_t>(fileSize.QuadPart)))
    return refusal;
  publisherFallback = true;
  return ERROR_SUCCESS;
}

void ModuleImage::Close() {
  view_.Close();
  mapping_.Close();
  file_.Close();
}

bool PublisherSignatureAccepted(LONG trustStatus, const uint8_t* file, size_t size) {
  if (!IsChainRefusal(trustStatus)) return false;
  const auto table = ReadCertificateTable(file, size);
  if (!table) return false;
  const auto signature = ReadSingleSignature(file, size, *table);
  if (!signature) return false;
  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(signature->signatureSize),
                          const_cast<BYTE*>(file + signature->signatureOffset)};
  std::vector<BYTE> content;
  return AuthenticateSignedBlob(blob, content, nullptr, SignedContent::kCodeSignature) == 1;
}

}  // namespace bastion
