// One counted reference to a COM object, released when the holder goes.
#ifndef BASTION_UI_COM_PTR_H_
#define BASTION_UI_COM_PTR_H_

#include <unknwn.h>

#include <utility>

namespace bastion {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Adopts a reference the caller already owns.
  explicit ComPtr(T* adopted) : ptr_(adopted) {}
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }

  // Takes a new reference of its own.
  static ComPtr Share(T* object) {
    if (object != nullptr) object->AddRef();
    return ComPtr(object);
  }

  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // For out parameters: releases what is held and hands out the slot.
  T** Put() {
    Reset();
    return &ptr_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  T* Detach() { return std::exchange(ptr_, nullptr); }

  void Reset() {
    if (ptr_ != nullptr) std::exchange(ptr_, nullptr)->Release();
  }

  template <typename U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> result;
    if (ptr_ != nullptr && FAILED(ptr_->QueryInterface(iid, result.PutVoid()))) {
      result.Reset();
    }
    return result;
  }

 private:
  T* ptr_ = nullptr;
};

}  // namespace bastion

#endif  // BASTION_UI_COM_PTR_H_
