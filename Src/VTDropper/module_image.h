// Our own executable file, mapped read-only for the life of the procedure.
#ifndef BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_
#define BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_

#include <windows.h>

#include <cstdint>

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
  bool Open(const uint8_t*& view, uint32_t& size, bool& publisherFallback);
  // The same for a named file.
  bool OpenPath(const char* path, const uint8_t*& view, uint32_t& size, bool& publisherFallback);
  // Unmaps the view, then closes the mapping, then the file.
  void Close();

 private:
  bool SignatureAccepted(const char* path, bool& publisherFallback);

  HANDLE mapping_ = nullptr;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint32_t size_ = 0;
  void* view_ = nullptr;
};

#endif  // BASTION_SRC_VTDROPPER_MODULE_IMAGE_H_
