// window.external as the page sees it: the names registered in a record's
// externals, each calling its callback with the call's first argument.
#ifndef BASTION_UI_EXTERNAL_DISPATCH_H_
#define BASTION_UI_EXTERNAL_DISPATCH_H_

#include <windows.h>

#include <oaidl.h>

namespace bastion {

struct WebInstance;

class CImpIDispatch : public IDispatch {
 public:
  // Starts with no reference; the first holder adds one.
  explicit CImpIDispatch(WebInstance* instance) : instance_(instance) {}
  virtual ~CImpIDispatch() = default;
  CImpIDispatch(const CImpIDispatch&) = delete;
  CImpIDispatch& operator=(const CImpIDispatch&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

 private:
  LONG refCount_ = 0;
  WebInstance* instance_;
};

}  // namespace bastion

#endif  // BASTION_UI_EXTERNAL_DISPATCH_H_
