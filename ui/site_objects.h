// The hand-written OLE container pieces that host the browser control: a
// client site with an in-place site, the frame, and a storage that stores
// nothing. None of them is reference counted; they live until process end.
#ifndef BASTION_UI_SITE_OBJECTS_H_
#define BASTION_UI_SITE_OBJECTS_H_

#include <windows.h>

#include <ole2.h>

namespace bastion {

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

}  // namespace bastion

#endif  // BASTION_UI_SITE_OBJECTS_H_
