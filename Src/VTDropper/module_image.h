// Our own executable file, mapped read-only for the life of the procedure,
// once its code signature was accepted: by the system, or as the second
// chance, by a pinned publisher certificate.
#ifndef BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_
#define BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/scoped_handle.h"

namespace bastion {

// A view of a file mapping.
using ScopedMappedView = ScopedHandle<LinkedCloseTraits<void*, &UnmapViewOfFile>>;

// The second chance of our own file's signature check: a signature that the
// system refused only for want of a trusted chain is still ours when one of
// the pinned publisher certificates verifies it. `trustStatus` is what the
// system's check answered for `file`. Only a chain-of-trust refusal qualifies
// (an absent signature or a bad digest never does), and then the file's one
// embedded signature must verify under a pinned certificate.
bool PublisherSignatureAccepted(LONG trustStatus, const uint8_t* file, size_t size);

// The outcome of opening: on failure `error` is the Win32 error, or the
// WinVerifyTrust status, of the step that failed, never ERROR_SUCCESS.
struct ModuleImageResult {
  bool ok = false;
  DWORD error = ERROR_SUCCESS;
};

class ModuleImage {
 public:
  ModuleImage() = default;
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

  // Released in reverse order of declaration: view, mapping, file.
  ScopedKernelHandle file_;
  ScopedKernelHandle mapping_;
  ScopedMappedView view_;
  uint32_t size_ = 0;
};

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_
