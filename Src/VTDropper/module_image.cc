#include "Src/VTDropper/module_image.h"

#include <string>

#include "Src/VTDropper/module_path.h"
#include "Src/VTDropper/publisher_signature.h"
#include "diagnostics/trace.h"
#include "diagnostics/trace_ids.h"
#include "platform/object_security.h"
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
  explicit TemporaryView(HANDLE file) {
    mapping_ = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping_ != nullptr) view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
  }
  ~TemporaryView() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
  }
  TemporaryView(const TemporaryView&) = delete;
  TemporaryView& operator=(const TemporaryView&) = delete;
  const uint8_t* data() const { return static_cast<const uint8_t*>(view_); }

 private:
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
};

}  // namespace

ModuleImage::~ModuleImage() { Close(); }

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
  file_ = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, security, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    trace::Message(ModuleImageTrace::kOpenFailed, trace::kComponents, error);
    return Failed(error);
  }
  const DWORD refused = CheckSignature(path, publisherFallback);
  if (refused != ERROR_SUCCESS) return Failed(refused);
  size_ = GetFileSize(file_, nullptr);
  mapping_ = CreateFileMappingW(file_, security, PAGE_READONLY, 0, 0, nullptr);
  if (mapping_ == nullptr) {
    const DWORD error = GetLastError();
    trace::Message(ModuleImageTrace::kMappingFailed, trace::kComponents, error);
    return Failed(error);
  }
  view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
  if (view_ == nullptr) {
    const DWORD error = GetLastError();
    trace::Message(ModuleImageTrace::kViewFailed, trace::kComponents, error);
    return Failed(error);
  }
  trace::Message(ModuleImageTrace::kMapped, trace::kComponents);
  view = static_cast<const uint8_t*>(view_);
  size = size_;
  return {true, ERROR_SUCCESS};
}

DWORD ModuleImage::CheckSignature(const wchar_t* path, bool& publisherFallback) {
  LONG status = 0;
  if (VerifyCodeSignature(path, status, file_)) return ERROR_SUCCESS;
  // WinTrust's own status, or why it could not be reached.
  const DWORD refusal = FailureCode(status != 0 ? static_cast<DWORD>(status) : GetLastError());
  trace::Message(ModuleImageTrace::kSignatureRefused, trace::kComponents, refusal);
  LARGE_INTEGER fileSize = {};
  if (!GetFileSizeEx(file_, &fileSize)) return FailureCode(GetLastError());
  if (fileSize.QuadPart <= 0) return refusal;
  TemporaryView whole(file_);
  if (whole.data() == nullptr) return FailureCode(GetLastError());
  if (!PublisherSignatureAccepted(status, whole.data(), static_cast<size_t>(fileSize.QuadPart)))
    return refusal;
  publisherFallback = true;
  return ERROR_SUCCESS;
}

void ModuleImage::Close() {
  if (view_ != nullptr) {
    UnmapViewOfFile(view_);
    view_ = nullptr;
  }
  if (mapping_ != nullptr) {
    CloseHandle(mapping_);
    mapping_ = nullptr;
  }
  if (file_ != INVALID_HANDLE_VALUE) {
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
}

}  // namespace bastion
