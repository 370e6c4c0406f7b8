// Test doubles for the browser's large COM interfaces: an object whose table
// answers E_NOTIMPL in every slot except the few a test fills in, so a fake
// document or browser needs no hundred-method class. x86_64 only (extra
// arguments to the shared E_NOTIMPL slot are harmless there, not on i686).
#ifndef BASTION_TESTS_WIN_COM_FAKES_H_
#define BASTION_TESTS_WIN_COM_FAKES_H_

#include <windows.h>

#include <unknwn.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

// The table index of a virtual method, read from its member-pointer form
// (g++'s ABI stores 1 + the byte offset in the table).
template <typename Method>
size_t VtableSlot(Method method) {
  struct Representation {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof(Method) == sizeof(Representation));
  std::memcpy(&representation, &method, sizeof(representation));
  return (representation.pointer - 1) / sizeof(void*);
}

struct RawComFake {
  RawComFake() {
    for (void*& slot : table) slot = reinterpret_cast<void*>(&NotImplemented);
    table[0] = reinterpret_cast<void*>(&QueryInterfaceSlot);
    table[1] = reinterpret_cast<void*>(&AddRefSlot);
    table[2] = reinterpret_cast<void*>(&ReleaseSlot);
  }
  RawComFake(const RawComFake&) = delete;
  RawComFake& operator=(const RawComFake&) = delete;

  // The object answers `iid` with itself, or with `other` when given.
  void Answer(REFIID iid, IUnknown* other = nullptr) { answers.emplace_back(iid, other); }
  template <typename Function>
  void Set(size_t slot, Function function) {
    table[slot] = reinterpret_cast<void*>(function);
  }
  template <typename Interface>
  Interface* As() {
    return reinterpret_cast<Interface*>(this);
  }

  void** vtable = table;  // must stay the first member
  void* table[160];
  LONG references = 1;
  std::vector<std::pair<IID, IUnknown*>> answers;
  void* context = nullptr;

  static HRESULT STDMETHODCALLTYPE NotImplemented(void*) { return E_NOTIMPL; }
  static HRESULT STDMETHODCALLTYPE QueryInterfaceSlot(RawComFake* self, REFIID iid, void** out) {
    for (auto& [answered, other] : self->answers) {
      if (IsEqualIID(answered, iid)) {
        IUnknown* result = other != nullptr ? other : self->As<IUnknown>();
        result->AddRef();
        *out = result;
        return S_OK;
      }
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  static ULONG STDMETHODCALLTYPE AddRefSlot(RawComFake* self) {
    return static_cast<ULONG>(++self->references);
  }
  static ULONG STDMETHODCALLTYPE ReleaseSlot(RawComFake* self) {
    return static_cast<ULONG>(--self->references);
  }
};

#endif  // BASTION_TESTS_WIN_COM_FAKES_H_
