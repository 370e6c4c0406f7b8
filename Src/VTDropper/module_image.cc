#include "Src/VTDropper/module_image.h"

#include <string>

#include "Src/VTDropper/publisher_signature.h"
#include "diagnostics/trace.h"
#include "platform/object_security.h"
#include "verification/verify_code_signature.h"

namespace {

// {2838AA93-000F-3695-1FA2-7C7CEB448435}
constexpr GUID kTraceGuid = {0x2838AA93, 0x000F, 0x3695, {0x1F, 0xA2, 0x7C, 0x7C, 0xEB, 0x44, 0x84, 0x35}};

std::wstring AnsiToWide(const char* text) {
  const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed) <= 0) return {};
  wide.resize(static_cast<size_t>(needed) - 1);
  return wide;
}

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

bool ModuleImage::Open(const uint8_t*& view, uint32_t& size, bool& publisherFallback) {
  char path[MAX_PATH + 1] = {};
  if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0) path[0] = '\0';
  return OpenPath(path, view, size, publisherFallback);
}

bool ModuleImage::OpenPath(const char* path, const uint8_t*& view, uint32_t& size,
                           bool& publisherFallback) {
  Close();
  SECURITY_ATTRIBUTES* security = GetObjectSecurity();
  file_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, security, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) {
    trace::Message(kTraceGuid, 10, trace::kComponents, GetLastError());
    return false;
  }
  if (!SignatureAccepted(path, publisherFallback)) return false;
  size_ = GetFileSize(file_, nullptr);
  mapping_ = CreateFileMappingW(file_, security, PAGE_READONLY, 0, 0, nullptr);
  if (mapping_ == nullptr) {
    trace::Message(kTraceGuid, 12, trace::kComponents, GetLastError());
    return false;
  }
  view_ = MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0);
  if (view_ == nullptr) {
    trace::Message(kTraceGuid, 13, trace::kComponents, GetLastError());
    return false;
  }
  trace::Message(kTraceGuid, 14, trace::kComponents);
  view = static_cast<const uint8_t*>(view_);
  size = size_;
  return true;
}

bool ModuleImage::SignatureAccepted(const char* path, bool& publisherFallback) {
  const std::wstring widePath = AnsiToWide(path);
  LONG status = 0;
  if (VerifyCodeSignature(widePath.c_str(), status)) return true;
  trace::Message(kTraceGuid, 11, trace::kComponents, GetLastError());
  LARGE_INTEGER fileSize = {};
  if (!GetFileSizeEx(file_, &fileSize) || fileSize.QuadPart <= 0) return false;
  TemporaryView whole(file_);
  if (whole.data() == nullptr) return false;
  if (!PublisherSignatureAccepted(status, whole.data(), static_cast<size_t>(fileSize.QuadPart))) {
    return false;
  }
  publisherFallback = true;
  return true;
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
