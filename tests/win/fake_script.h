// A page script object that records what RunScript asks of it.
#ifndef BASTION_TESTS_WIN_FAKE_SCRIPT_H_
#define BASTION_TESTS_WIN_FAKE_SCRIPT_H_

#include <windows.h>

#include <dispex.h>

#include <string>
#include <vector>

class FakeScript : public IDispatchEx {
 public:
  struct Call {
    DISPID id;
    WORD flags;
    std::vector<std::wstring> arguments;
    bool namedArguments;
  };

  std::vector<std::pair<std::wstring, DWORD>> lookups;  // GetDispID name, flags
  std::vector<Call> calls;
  HRESULT invokeResult = S_OK;
  DISPID idToGive = 42;
  bool offersDispatchEx = true;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    static const IID kIidDispatchEx = {
        0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        (offersDispatchEx && IsEqualIID(iid, kIidDispatchEx))) {
      *out = static_cast<IDispatchEx*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    Call call{id, flags, {}, parameters->rgdispidNamedArgs != nullptr || parameters->cNamedArgs};
    for (UINT k = 0; k < parameters->cArgs; ++k) {
      const VARIANT& argument = parameters->rgvarg[k];
      call.arguments.push_back(V_VT(&argument) == VT_BSTR && V_BSTR(&argument) != nullptr
                                   ? V_BSTR(&argument)
                                   : L"<not a string>");
    }
    calls.push_back(call);
    // A page function's return value, which the caller must clear.
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocString(L"returned");
    return invokeResult;
  }
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) override {
    lookups.emplace_back(name, flags);
    *id = idToGive;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     IServiceProvider*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

  ULONG references = 1;
};

#endif  // BASTION_TESTS_WIN_FAKE_SCRIPT_H_
