// The hand-written COM objects that host the browser control: the OLE
// container pieces (a client site with an in-place site, the frame, and a
// storage that stores nothing), the browser's event sink with the UI handler
// and command target it installs in every loaded document, and
// window.external as the page sees it. Only window.external is reference
// counted; the others live until process end.
#ifndef BASTION_UI_SITE_OBJECTS_H_
#define BASTION_UI_SITE_OBJECTS_H_

#include <windows.h>

#include <docobj.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <oaidl.h>
#include <ole2.h>

#include <atomic>

#include "ui/com_ptr.h"

namespace bastion {

struct WebInstance;

class __IOleClientSiteEx;

class CIOleClientSite : public IOleClientSite {
 public:
  explicit CIOleClientSite(__IOleClientSiteEx* owner) : owner_(owner) {}
  virtual ~CIOleClientSite() = default;
  CIOleClientSite(const CIOleClientSite&) = delete;
  CIOleClientSite& operator=(const CIOleClientSite&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

 private:
  __IOleClientSiteEx* owner_;
};

class CIOleInPlaceFrame : public IOleInPlaceFrame {
 public:
  explicit CIOleInPlaceFrame(HWND window) : window_(window) {}
  virtual ~CIOleInPlaceFrame() = default;
  CIOleInPlaceFrame(const CIOleInPlaceFrame&) = delete;
  CIOleInPlaceFrame& operator=(const CIOleInPlaceFrame&) = delete;

  HWND window() const { return window_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return E_NOTIMPL; }

 private:
  HWND window_;
};

class CIOleInPlaceSite : public IOleInPlaceSite {
 public:
  CIOleInPlaceSite(__IOleClientSiteEx* owner, CIOleInPlaceFrame* frame)
      : owner_(owner), frame_(frame) {}
  virtual ~CIOleInPlaceSite() = default;
  CIOleInPlaceSite(const CIOleInPlaceSite&) = delete;
  CIOleInPlaceSite& operator=(const CIOleInPlaceSite&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO frameInfo) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

 private:
  __IOleClientSiteEx* owner_;
  CIOleInPlaceFrame* frame_;
};

// What the browser receives as its client site: one object with a client-site
// part and an in-place-site part, whichever part a query comes through.
class __IOleClientSiteEx {
 public:
  explicit __IOleClientSiteEx(CIOleInPlaceFrame* frame)
      : clientSite_(this), inPlaceSite_(this, frame) {}
  __IOleClientSiteEx(const __IOleClientSiteEx&) = delete;
  __IOleClientSiteEx& operator=(const __IOleClientSiteEx&) = delete;

  IOleClientSite* clientSite() { return &clientSite_; }
  IOleInPlaceSite* inPlaceSite() { return &inPlaceSite_; }
  // IUnknown and IOleClientSite: the client-site part; IOleInPlaceSite: the
  // in-place part; no reference is added.
  HRESULT Resolve(REFIID iid, void** object);

 private:
  CIOleClientSite clientSite_;
  CIOleInPlaceSite inPlaceSite_;
};

// A storage that stores nothing: the browser control needs one to be created.
class CIStorage : public IStorage {
 public:
  CIStorage() = default;
  virtual ~CIStorage() = default;
  CIStorage(const CIStorage&) = delete;
  CIStorage& operator=(const CIStorage&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD,
                                        IStorage**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR*, const OLECHAR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*,
                                            const FILETIME*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetClass(REFCLSID) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
};

// window.external as the page sees it: the names registered in a record's
// externals, each calling its callback with the call's first argument.
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

class CIOleCommandTarget;

// The browser's event sink and the two objects it installs in every loaded
// document: the UI handler (which hands out window.external, shows no menu,
// drops keys the message loop drops, adds the host flags and refuses drops)
// and the command target. Each answers for itself and the other; the rest
// goes to the document's own host.
class CIDocHostUIHandler : public IDocHostUIHandler {
 public:
  // `commandTarget` answers IOleCommandTarget queries; null answers none.
  explicit CIDocHostUIHandler(CIOleCommandTarget* commandTarget) : commandTarget_(commandTarget) {}
  virtual ~CIDocHostUIHandler() = default;
  CIDocHostUIHandler(const CIDocHostUIHandler&) = delete;
  CIDocHostUIHandler& operator=(const CIDocHostUIHandler&) = delete;

  // Each takes a reference to the new object and releases the old one.
  void SetDefaultHandler(IDocHostUIHandler* handler);
  void SetExternal(IDispatch* external);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point, IUnknown* target,
                                            IDispatch* object) override;
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* active,
                                   IOleCommandTarget* target, IOleInPlaceFrame* frame,
                                   IOleInPlaceUIWindow* document) override;
  HRESULT STDMETHODCALLTYPE HideUI() override;
  HRESULT STDMETHODCALLTYPE UpdateUI() override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frameWindow) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message, const GUID* group,
                                                 DWORD command) override;
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* drop, IDropTarget** replacement) override;
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override;
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR url, LPWSTR* translated) override;
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* object, IDataObject** filtered) override;

 private:
  CIOleCommandTarget* commandTarget_;
  ComPtr<IDocHostUIHandler> defaultHandler_;
  ComPtr<IDispatch> external_;
};

class CIOleCommandTarget : public IOleCommandTarget {
 public:
  // `handler` answers IDocHostUIHandler queries; null answers none.
  explicit CIOleCommandTarget(CIDocHostUIHandler* handler) : handler_(handler) {}
  virtual ~CIOleCommandTarget() = default;
  CIOleCommandTarget(const CIOleCommandTarget&) = delete;
  CIOleCommandTarget& operator=(const CIOleCommandTarget&) = delete;

  void SetDefaultTarget(IOleCommandTarget* target);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID* group, ULONG count, OLECMD* commands,
                                        OLECMDTEXT* text) override;
  HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD id, DWORD options, VARIANT* in,
                                 VARIANT* out) override;

 private:
  CIDocHostUIHandler* handler_;
  ComPtr<IOleCommandTarget> defaultTarget_;
};

class CEventSink : public DWebBrowserEvents2 {
 public:
  CEventSink() = default;
  virtual ~CEventSink() = default;
  CEventSink(const CEventSink&) = delete;
  CEventSink& operator=(const CEventSink&) = delete;

  void SetWindow(HWND window) { hwnd_ = window; }
  // A new record is not shown yet: its first load goes ahead.
  void SetInstance(WebInstance* instance) {
    instance_ = instance;
    shown_.store(false);
  }
  // The window is on the screen and its page loaded: from now on every
  // navigation, new window and download is cancelled, since the product
  // writes its page into about:blank and never navigates again.
  void MarkShown() { shown_.store(true); }
  CIDocHostUIHandler& uiHandler() { return uiHandler_; }
  CIOleCommandTarget& commandTarget() { return commandTarget_; }

  // What a completed navigation does with the browser's new document: hide
  // its scroll bars, install the UI handler and a new window.external.
  void OnDocumentLoaded(IDispatch* document);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

 private:
  CIDocHostUIHandler uiHandler_{&commandTarget_};
  CIOleCommandTarget commandTarget_{&uiHandler_};
  HWND hwnd_ = nullptr;
  WebInstance* instance_ = nullptr;
  std::atomic<bool> shown_{false};
};

// The one sink every browser of the process is connected to.
CEventSink& EventSink();

// Sets the body's scroll attribute to "no"; false when a step is missing.
bool HideScrollBars(IDispatch* document);

}  // namespace bastion

#endif  // BASTION_UI_SITE_OBJECTS_H_
