// Owner of one handle of any kind. The traits say which value means none and
// how to close; a traits object may carry a close function bound at run time,
// so that a library bound from the system folder is never also linked at build
// time (which would load it by the default search order).
#ifndef BASTION_PLATFORM_SCOPED_HANDLE_H_
#define BASTION_PLATFORM_SCOPED_HANDLE_H_

#include <windows.h>

namespace bastion {

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle, Traits traits = Traits()) : handle_(handle), traits_(traits) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()), traits_(other.traits_) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      traits_ = other.traits_;
      handle_ = other.Release();
    }
    return *this;
  }

  bool IsValid() const { return Traits::IsValid(handle_); }
  Handle Get() const { return handle_; }
  Handle Release() {
    Handle handle = handle_;
    handle_ = Traits::None();
    return handle;
  }
  void Close() {
    if (IsValid()) traits_.Close(handle_);
    handle_ = Traits::None();
  }
  // For calls that hand the handle out through a pointer.
  Handle* Receive() {
    Close();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::None();
  [[no_unique_address]] Traits traits_;
};

// A handle that null (or zero) means none of, released by one function that
// its owner bound at run time.
template <typename HandleType, typename CloseFunction>
struct BoundCloseTraits {
  using Handle = HandleType;
  CloseFunction* close = nullptr;
  static Handle None() { return Handle{}; }
  static bool IsValid(Handle handle) { return handle != Handle{}; }
  void Close(Handle handle) const { close(handle); }
};

// A handle that null (or zero) means none of, released by one linked
// function whose result nobody could act on.
template <typename HandleType, auto CloseFunction>
struct LinkedCloseTraits {
  using Handle = HandleType;
  static Handle None() { return Handle{}; }
  static bool IsValid(Handle handle) { return handle != Handle{}; }
  static void Close(Handle handle) { CloseFunction(handle); }
};

// Kernel handles: null and INVALID_HANDLE_VALUE both mean none.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle None() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;

}  // namespace bastion

#endif  // BASTION_PLATFORM_SCOPED_HANDLE_H_
