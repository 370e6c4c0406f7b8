// Our own executable file, mapped read-only for the life of the procedure.
#ifndef BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_
#define BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_

#include <windows.h>

#include <cstdint>

namespace bastion {

// The outcome of opening: on failure `error` is the Win32 error, or the
// WinVerifyTrust status, of the step that failed, never ERROR_SUCCESS.
struct ModuleImageResult {
  bool ok = false;
  DWORD error = ERROR_SUCCESS;
};

class ModuleImage {
 public:
  ModuleImage() = default;
  ~ModuleImage();
  ModuleImage(const ModuleImage&) = delete;
  ModuleImage& operator=(const ModuleImage&) = delete;

  // Maps the process's own file after checking its code signature. On
  // success `view` and `size` describe the file; `publisherFallback` (which
  // the caller sets false) turns true when the signature was accepted only
  // because a pinned publisher certificate verified it. On failure the
  // handles already obtained stay here until Close.
  ModuleImageResult Open(const uint8_t*& view, uint32_t& size, bool& publisherFallback);
  // The same for an existing file named by a full wide path. The signature
  // check reads the opened handle, so the bytes checked are the bytes mapped.
  ModuleImageResult OpenPath(const wchar_t* path, const uint8_t*& view, uint32_t& size,
                             bool& publisherFallback);
  // Unmaps the view, then closes the mapping, then the file.
  void Close();

 private:
  // ERROR_SUCCESS when the signature is accepted, else why not.
  DWORD CheckSignature(const wchar_t* path, bool& publisherFallback);

  HANDLE mapping_ = nullptr;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint32_t size_ = 0;
  void* view_ = nullptr;
};

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_
