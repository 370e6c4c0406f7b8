// Ownership of COM objects and OLE automation allocations: one counted
// reference released when the holder goes, and ScopedHandle traits for a
// BSTR, a SAFEARRAY and an array of VARIANTs.
#ifndef BASTION_UI_COM_PTR_H_
#define BASTION_UI_COM_PTR_H_

#include <windows.h>

#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <new>
#include <utility>

#include "platform/scoped_handle.h"

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

using Bstr = ScopedHandle<LinkedCloseTraits<BSTR, &SysFreeString>>;
using SafeArrayHolder = ScopedHandle<LinkedCloseTraits<SAFEARRAY*, &SafeArrayDestroy>>;

// `count` VARIANTs from new[]: each is cleared, then the array freed.
struct VariantArrayTraits {
  using Handle = VARIANT*;
  size_t count = 0;
  static Handle None() { return nullptr; }
  static bool IsValid(Handle items) { return items != nullptr; }
  void Close(Handle items) const {
    for (size_t k = 0; k < count; ++k) VariantClear(&items[k]);
    delete[] items;
  }
};
using VariantArray = ScopedHandle<VariantArrayTraits>;

// `count` initialised VARIANTs; holds none when `count` is 0 or memory is
// short.
inline VariantArray MakeVariantArray(size_t count) {
  if (count == 0) return VariantArray();
  VARIANT* items = new (std::nothrow) VARIANT[count];
  if (items == nullptr) return VariantArray();
  for (size_t k = 0; k < count; ++k) VariantInit(&items[k]);
  return VariantArray(items, VariantArrayTraits{count});
}

}  // namespace bastion

#endif  // BASTION_UI_COM_PTR_H_
