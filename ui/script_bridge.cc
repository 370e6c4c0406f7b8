#include "ui/script_bridge.h"

#include <dispex.h>
#include <wchar.h>

#include "ui/browser.h"
#include "ui/com_ptr.h"
#include "ui/window_rules.h"

namespace bastion {

namespace {

// mingw's uuid library lacks it.
constexpr IID kIidDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

LONG volatile g_blankNavigations = 0;

}  // namespace

bool InvokeScriptFunction(IDispatch* script, RunCommandRequest* request, PageLogFunction log) {
  if (script == nullptr || request == nullptr) return false;
  ComPtr<IDispatchEx> scriptEx;
  if (FAILED(script->QueryInterface(kIidDispatchEx, scriptEx.PutVoid())) || !scriptEx) return false;
  DISPID id = 0;
  Bstr name(SysAllocString(request->function));
  scriptEx->GetDispID(name.Get(), fdexNameImplicit, &id);
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception{};
  UINT argumentError = static_cast<UINT>(-1);
  HRESULT invoked = script->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &request->parameters,
                                   &result, &exception, &argumentError);
  if (log != nullptr) log(L"run script result %d:\n", static_cast<int>(invoked));
  VariantClear(&result);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return SUCCEEDED(invoked);
}

void RunScript(WebInstance* instance, RunCommandRequest* request) {
  if (instance == nullptr || request == nullptr) return;
  // A page that never loaded shows no RETRY: the procedure must not wait for it.
  bool ran = false;
  ComPtr<IDispatch> script;
  if (instance->htmlDocument && SUCCEEDED(instance->htmlDocument->get_Script(script.Put())) && script)
    ran = InvokeScriptFunction(script.Get(), request, instance->log.load());
  if (request->function != nullptr && wcscmp(request->function, L"ForceRetry") == 0)
    instance->retryShown.store(ran);
}

int DisplayHtml(HWND window, const wchar_t* text) {
  ComPtr<IWebBrowser2> browser = BrowserOfWindow(window);
  if (!browser) return -1;
  if (InterlockedIncrement(&g_blankNavigations) == 1) {
    VARIANT url;
    VariantInit(&url);
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(L"about:blank");
    VARIANT none;
    VariantInit(&none);
    browser->Navigate2(&url, &none, &none, &none, &none);
    VariantClear(&url);
  }
  ComPtr<IDispatch> document;
  if (FAILED(browser->get_Document(document.Put())) || !document) return -1;
  ComPtr<IHTMLDocument2> html = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
  if (!html || text == nullptr) return -1;

  SafeArrayHolder array(SafeArrayCreateVector(VT_VARIANT, 0, 1));
  if (!array.IsValid()) return -1;
  VARIANT* element = nullptr;
  if (FAILED(SafeArrayAccessData(array.Get(), reinterpret_cast<void**>(&element)))) return -1;
  V_VT(element) = VT_BSTR;
  V_BSTR(element) = SysAllocString(text);
  bool copied = V_BSTR(element) != nullptr;
  SafeArrayUnaccessData(array.Get());
  if (!copied) return -1;

  Bstr type(SysAllocString(L"text/html"));
  if (!type.IsValid()) return -1;
  VARIANT none;
  VariantInit(&none);
  ComPtr<IDispatch> opened;
  html->open(type.Get(), none, none, none, opened.Put());
  html->write(array.Get());
  html->close();
  return 0;
}

int NavigateToFile(HWND window, const wchar_t* path) {
  ComPtr<IWebBrowser2> browser = BrowserOfWindow(window);
  if (!browser) return -5;
  VARIANT url;
  VariantInit(&url);
  V_BSTR(&url) = path == nullptr ? nullptr : SysAllocString(path);
  if (V_BSTR(&url) == nullptr) return -6;
  V_VT(&url) = VT_BSTR;
  VARIANT none;
  VariantInit(&none);
  browser->Navigate2(&url, &none, &none, &none, &none);
  VariantClear(&url);
  return 0;
}

bool IsHtmlFilePath(const wchar_t* text) { return IsHtmlFilePathText(text); }

IHTMLWindow2* GetParentWindow(IWebBrowser2* browser) {
  ComPtr<IWebBrowser2> owned(browser);
  if (!owned) return nullptr;
  ComPtr<IDispatch> document;
  if (FAILED(owned->get_Document(document.Put())) || !document) return nullptr;
  ComPtr<IHTMLDocument2> html = document.As<IHTMLDocument2>(IID_IHTMLDocument2);
  IHTMLWindow2* window = nullptr;
  if (html && FAILED(html->get_parentWindow(&window))) window = nullptr;
  return window;
}

}  // namespace bastion
