#include "ui/site_objects.h"

#include <exdispid.h>
#include <mshtml.h>

#include "ui/browser.h"
#include "ui/web_instance.h"
#include "ui/window_procedure.h"

namespace bastion {

namespace {

// mingw's uuid library lacks it.
constexpr IID kIidCustomDoc = {
    0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

}  // namespace

HRESULT __IOleClientSiteEx::Resolve(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *object = clientSite();
    return S_OK;
  }
  if (IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *object = inPlaceSite();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT CIOleClientSite::QueryInterface(REFIID iid, void** object) {
  return owner_->Resolve(iid, object);
}

HRESULT CIOleClientSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT CIOleInPlaceFrame::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return S_OK;
}

HRESULT CIOleInPlaceSite::QueryInterface(REFIID iid, void** object) {
  return owner_->Resolve(iid, object);
}

HRESULT CIOleInPlaceSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = frame_->window();
  return S_OK;
}

HRESULT CIOleInPlaceSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO frameInfo) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
      frameInfo == nullptr) {
    return E_POINTER;
  }
  *frame = frame_;
  *document = nullptr;
  // The size field stays as the caller set it.
  frameInfo->fMDIApp = FALSE;
  frameInfo->hwndFrame = frame_->window();
  frameInfo->haccel = nullptr;
  frameInfo->cAccelEntries = 0;
  RECT client{};
  GetClientRect(frame_->window(), &client);
  *position = client;
  *clip = client;
  return S_OK;
}

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

void CIDocHostUIHandler::SetDefaultHandler(IDocHostUIHandler* handler) {
  if (handler != defaultHandler_.Get()) defaultHandler_ = ComPtr<IDocHostUIHandler>::Share(handler);
}

void CIDocHostUIHandler::SetExternal(IDispatch* external) {
  if (external != external_.Get()) external_ = ComPtr<IDispatch>::Share(external);
}

// Whoever asks our handler for the handler or the command target gets ours,
// never the document's unfiltered ones; interfaces we do not implement stay
// the document's own host's.
HRESULT CIDocHostUIHandler::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDocHostUIHandler)) {
    *object = static_cast<IDocHostUIHandler*>(this);
    return S_OK;
  }
  if (IsEqualIID(iid, IID_IOleCommandTarget) && commandTarget_ != nullptr) {
    *object = static_cast<IOleCommandTarget*>(commandTarget_);
    return S_OK;
  }
  if (defaultHandler_ && !IsEqualIID(iid, IID_IOleCommandTarget))
    return defaultHandler_->QueryInterface(iid, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

// Forwarded methods: the document's own host decides; without it, S_OK.
#define BASTION_FORWARD(call) return defaultHandler_ ? defaultHandler_->call : S_OK

// Handled, with nothing shown: the menu's entries (view source, print,
// properties) lead to windows and dialogs outside the page.
HRESULT CIDocHostUIHandler::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_OK; }

// Best effort: the engine may read the flags before this handler is
// installed, which happens only once a document has loaded.
HRESULT CIDocHostUIHandler::GetHostInfo(DOCHOSTUIINFO* info) {
  HRESULT own = defaultHandler_ ? defaultHandler_->GetHostInfo(info) : S_OK;
  if (info == nullptr) return own;
  info->dwFlags |= DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_DIALOG;
  return S_OK;
}
HRESULT CIDocHostUIHandler::ShowUI(DWORD id, IOleInPlaceActiveObject* active,
                                   IOleCommandTarget* target, IOleInPlaceFrame* frame,
                                   IOleInPlaceUIWindow* document) {
  BASTION_FORWARD(ShowUI(id, active, target, frame, document));
}
HRESULT CIDocHostUIHandler::HideUI() { BASTION_FORWARD(HideUI()); }
HRESULT CIDocHostUIHandler::UpdateUI() { BASTION_FORWARD(UpdateUI()); }
HRESULT CIDocHostUIHandler::EnableModeless(BOOL enable) { BASTION_FORWARD(EnableModeless(enable)); }
HRESULT CIDocHostUIHandler::OnDocWindowActivate(BOOL activate) {
  BASTION_FORWARD(OnDocWindowActivate(activate));
}
HRESULT CIDocHostUIHandler::OnFrameWindowActivate(BOOL activate) {
  BASTION_FORWARD(OnFrameWindowActivate(activate));
}
HRESULT CIDocHostUIHandler::ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frameWindow) {
  BASTION_FORWARD(ResizeBorder(border, window, frameWindow));
}
// A second line behind the message loop, which drops these keys before the
// engine sees them: S_OK tells the engine the key is taken care of.
HRESULT CIDocHostUIHandler::TranslateAccelerator(LPMSG message, const GUID* group, DWORD command) {
  if (message != nullptr && !KeyMessageAllowed(*message)) return S_OK;
  BASTION_FORWARD(TranslateAccelerator(message, group, command));
}
HRESULT CIDocHostUIHandler::GetOptionKeyPath(LPOLESTR* key, DWORD reserved) {
  BASTION_FORWARD(GetOptionKeyPath(key, reserved));
}
HRESULT CIDocHostUIHandler::GetDropTarget(IDropTarget*, IDropTarget**) { return E_ACCESSDENIED; }
HRESULT CIDocHostUIHandler::GetExternal(IDispatch** external) {
  if (external_) {
    if (external == nullptr) return E_POINTER;
    external_->AddRef();
    *external = external_.Get();
    return S_OK;
  }
  if (defaultHandler_) return defaultHandler_->GetExternal(external);
  if (external != nullptr) *external = nullptr;
  return S_OK;
}
HRESULT CIDocHostUIHandler::TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) {
  BASTION_FORWARD(TranslateUrl(translate, url, translated));
}
HRESULT CIDocHostUIHandler::FilterDataObject(IDataObject* object, IDataObject** filtered) {
  BASTION_FORWARD(FilterDataObject(object, filtered));
}

#undef BASTION_FORWARD

void CIOleCommandTarget::SetDefaultTarget(IOleCommandTarget* target) {
  if (target != defaultTarget_.Get()) defaultTarget_ = ComPtr<IOleCommandTarget>::Share(target);
}

HRESULT CIOleCommandTarget::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleCommandTarget)) {
    *object = static_cast<IOleCommandTarget*>(this);
    return S_OK;
  }
  if (IsEqualIID(iid, IID_IDocHostUIHandler) && handler_ != nullptr) {
    *object = static_cast<IDocHostUIHandler*>(handler_);
    return S_OK;
  }
  if (defaultTarget_ && !IsEqualIID(iid, IID_IDocHostUIHandler))
    return defaultTarget_->QueryInterface(iid, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT CIOleCommandTarget::QueryStatus(const GUID* group, ULONG count, OLECMD* commands,
                                        OLECMDTEXT* text) {
  return defaultTarget_ ? defaultTarget_->QueryStatus(group, count, commands, text) : S_FALSE;
}

HRESULT CIOleCommandTarget::Exec(const GUID* group, DWORD id, DWORD options, VARIANT* in,
                                 VARIANT* out) {
  return defaultTarget_ ? defaultTarget_->Exec(group, id, options, in, out) : S_FALSE;
}

HRESULT CEventSink::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
    *object = static_cast<DWebBrowserEvents2*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

namespace {

// Sets an event's Cancel argument, which sits at `index` of an event with
// `count` arguments; a call of another form is left alone.
void Cancel(DISPPARAMS* parameters, UINT count, UINT index) {
  if (parameters == nullptr || parameters->rgvarg == nullptr || parameters->cArgs != count) return;
  VARIANT& cancel = parameters->rgvarg[index];
  if (V_VT(&cancel) != (VT_BYREF | VT_BOOL) || V_BOOLREF(&cancel) == nullptr) return;
  *V_BOOLREF(&cancel) = VARIANT_TRUE;
}

}  // namespace

HRESULT CEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                           EXCEPINFO*, UINT*) {
  switch (id) {
    case DISPID_NAVIGATECOMPLETE2:
      break;
    // Frames included: nothing the page shows may lead elsewhere.
    case DISPID_BEFORENAVIGATE2:
      if (shown_.load()) Cancel(parameters, 7, 0);
      return S_OK;
    case DISPID_NEWWINDOW2:
    case DISPID_FILEDOWNLOAD:
      if (shown_.load()) Cancel(parameters, 2, 0);
      return S_OK;
    case DISPID_NEWWINDOW3:
      if (shown_.load()) Cancel(parameters, 5, 3);
      return S_OK;
    default:
      return S_OK;
  }
  ComPtr<IWebBrowser2> browser = BrowserOfWindow(hwnd_);
  if (!browser) return S_OK;
  ComPtr<IDispatch> document;
  if (browser->get_Document(document.Put()) != S_OK || !document) return S_OK;
  OnDocumentLoaded(document.Get());
  return S_OK;
}

bool HideScrollBars(IDispatch* document) {
  if (document == nullptr) return false;
  ComPtr<IHTMLDocument2> html = ComPtr<IDispatch>::Share(document).As<IHTMLDocument2>(IID_IHTMLDocument2);
  if (!html) return false;
  ComPtr<IHTMLElement> body;
  if (FAILED(html->get_body(body.Put())) || !body) return false;
  ComPtr<IHTMLBodyElement> bodyElement = body.As<IHTMLBodyElement>(IID_IHTMLBodyElement);
  if (!bodyElement) return false;
  Bstr no(SysAllocString(L"no"));
  if (!no.IsValid()) return false;
  return SUCCEEDED(bodyElement->put_scroll(no.Get()));
}

void CEventSink::OnDocumentLoaded(IDispatch* document) {
  if (document == nullptr) return;
  HideScrollBars(document);
  ComPtr<IDispatch> shared = ComPtr<IDispatch>::Share(document);
  if (!shared.As<IHTMLDocument2>(IID_IHTMLDocument2)) return;
  ComPtr<IOleObject> oleObject = shared.As<IOleObject>(IID_IOleObject);
  ComPtr<IOleClientSite> site;
  if (oleObject && SUCCEEDED(oleObject->GetClientSite(site.Put())) && site) {
    ComPtr<IDocHostUIHandler> handler = site.As<IDocHostUIHandler>(IID_IDocHostUIHandler);
    ComPtr<IOleCommandTarget> target = site.As<IOleCommandTarget>(IID_IOleCommandTarget);
    ComPtr<IDispatch> external = ComPtr<IDispatch>::Share(new CImpIDispatch(instance_));
    uiHandler_.SetDefaultHandler(handler.Get());
    commandTarget_.SetDefaultTarget(target.Get());
    uiHandler_.SetExternal(external.Get());
  }
  ComPtr<ICustomDoc> custom = shared.As<ICustomDoc>(kIidCustomDoc);
  if (custom) custom->SetUIHandler(&uiHandler_);
}

CEventSink& EventSink() {
  // Never destroyed: at exit the browser objects its members hold may be
  // gone with their apartment; DestroyBrowser lets them go in time.
  static CEventSink* sink = new CEventSink;
  return *sink;
}

}  // namespace bastion
