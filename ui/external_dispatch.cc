#include "ui/external_dispatch.h"

#include "ui/web_instance.h"

namespace bastion {

HRESULT CImpIDispatch::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CImpIDispatch::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG CImpIDispatch::Release() {
  LONG count = InterlockedDecrement(&refCount_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT CImpIDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (instance_ == nullptr || instance_->hwnd.load() == nullptr || count == 0) {
    return DISP_E_UNKNOWNNAME;
  }
  if (names == nullptr || ids == nullptr) return E_POINTER;
  bool allFound = true;
  for (UINT k = 0; k < count; ++k) {
    ScopedEnter hold(instance_->lock);
    auto found = names[k] == nullptr ? instance_->externals.end()
                                     : instance_->externals.find(names[k]);
    if (found == instance_->externals.end()) {
      ids[k] = DISPID_UNKNOWN;
      allFound = false;
    } else {
      ids[k] = found->second.dispId;
    }
  }
  return allFound ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT CImpIDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                              VARIANT*, EXCEPINFO*, UINT*) {
  if (instance_ == nullptr || (flags & DISPATCH_METHOD) == 0) return S_OK;
  // Only a string first argument reaches a callback.
  BSTR text = nullptr;
  if (parameters != nullptr && parameters->cArgs > 0 && parameters->rgvarg != nullptr &&
      V_VT(&parameters->rgvarg[0]) == VT_BSTR) {
    text = V_BSTR(&parameters->rgvarg[0]);
  } else {
    return S_OK;
  }
  // Held through the callbacks: the procedure thread cannot change the names
  // while one runs.
  ScopedEnter hold(instance_->lock);
  for (const auto& named : instance_->externals) {
    const ExternalEntry& entry = named.second;
    if (entry.dispId == id && entry.callback != nullptr) entry.callback(text);
  }
  return S_OK;
}

}  // namespace bastion
