#include "ui/script_bridge.h"

#include <dispex.h>
#include <wchar.h>

#include <memory>
#include <new>

#include "ui/browser.h"
#include "ui/com_ptr.h"
#include "ui/html_file_path.h"
#include "ui/web_instance_record.h"

namespace bastion {

namespace {

// mingw's uuid library lacks it.
constexpr IID kIidDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

LONG g_nextDispId = 1;
LONG volatile g_blankNavigations = 0;

// The request's arguments, cleared whatever the window thread did with them.
class VariantArray {
 public:
  explicit VariantArray(size_t count) : count_(count) {
    if (count_ > 0) {
      items_.reset(new (std::nothrow) VARIANT[count_]);
      if (items_) {
        for (size_t k = 0; k < count_; ++k) VariantInit(&items_[k]);
      }
    }
  }
  ~VariantArray() {
    if (items_) {
      for (size_t k = 0; k < count_; ++k) VariantClear(&items_[k]);
    }
  }
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;

  bool ok() const { return count_ == 0 || items_ != nullptr; }
  VARIANT* data() const { return items_.get(); }

 private:
  size_t count_;
  std::unique_ptr<VARIANT[]> items_;
};

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

class SafeArrayHolder {
 public:
  explicit SafeArrayHolder(SAFEARRAY* array) : array_(array) {}
  ~SafeArrayHolder() {
    if (array_ != nullptr) SafeArrayDestroy(array_);
  }
  SafeArrayHolder(const SafeArrayHolder&) = delete;
  SafeArrayHolder& operator=(const SafeArrayHolder&) = delete;
  SAFEARRAY* get() const { return array_; }

 private:
  SAFEARRAY* array_;
};

}  // namespace

int RunCommand(WebInstance* instance, const wchar_t* function, int argc,
               const wchar_t* const* argv) {
  if (instance == nullptr) return 1;
  PageLogFunction log = instance->log.load();
  if (log != nullptr) log(L"RunCommand called\n");
  HWND window = instance->hwnd.load();
  if (window == nullptr) return 1;
  if (log != nullptr) log(L"RunCommand(%p, %s, %d) called\n", instance, function, argc);
  // A negative count or a missing array would be read as garbage.
  if (function == nullptr || argc < 0 || (argc > 0 && argv == nullptr)) return 1;

  VariantArray arguments(static_cast<size_t>(argc));
  if (!arguments.ok()) return 1;
  for (int k = 0; k < argc; ++k) {
    V_VT(&arguments.data()[k]) = VT_BSTR;
    V_BSTR(&arguments.data()[k]) = SysAllocString(argv[k]);
  }
  RunCommandRequest request{function, {arguments.data(), nullptr, static_cast<UINT>(argc), 0}};
  SetLastError(ERROR_SUCCESS);
  SendMessageW(window, WM_USER, reinterpret_cast<WPARAM>(&request),
               reinterpret_cast<LPARAM>(instance));
  // The window may vanish between the check and the send.
  return GetLastError() == ERROR_INVALID_WINDOW_HANDLE ? 1 : 0;
}

bool InvokeScriptFunction(IDispatch* script, RunCommandRequest* request, PageLogFunction log) {
  if (script == nullptr || request == nullptr) return false;
  ComPtr<IDispatchEx> scriptEx;
  if (FAILED(script->QueryInterface(kIidDispatchEx, scriptEx.PutVoid())) || !scriptEx) return false;
  DISPID id = 0;
  Bstr name(request->function);
  scriptEx->GetDispID(name.get(), fdexNameImplicit, &id);
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

int RegisterExternal(WebInstance* instance, const wchar_t* name, ExternalCallback callback) {
  if (instance == nullptr || name == nullptr) return 1;
  ScopedEnter hold(instance->lock);
  auto [entry, added] = instance->externals.try_emplace(name);
  if (!added) return 1;
  entry->second.dispId = g_nextDispId++;
  entry->second.callback = callback;
  return 0;
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
  if (array.get() == nullptr) return -1;
  VARIANT* element = nullptr;
  if (FAILED(SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&element)))) return -1;
  V_VT(element) = VT_BSTR;
  V_BSTR(element) = SysAllocString(text);
  bool copied = V_BSTR(element) != nullptr;
  SafeArrayUnaccessData(array.get());
  if (!copied) return -1;

  Bstr type(L"text/html");
  if (type.get() == nullptr) return -1;
  VARIANT none;
  VariantInit(&none);
  ComPtr<IDispatch> opened;
  html->open(type.get(), none, none, none, opened.Put());
  html->write(array.get());
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
