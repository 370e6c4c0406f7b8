// The browser's event sink and the two objects it installs in every loaded
// document: the UI handler (which hands out window.external and refuses
// drops) and the command target, both forwarding to the document's own host.
#ifndef BASTION_UI_EVENT_SINK_H_
#define BASTION_UI_EVENT_SINK_H_

#include <windows.h>

#include <docobj.h>
#include <exdisp.h>
#include <mshtmhst.h>

#include "ui/com_ptr.h"

namespace bastion {

struct WebInstance;

class CIDocHostUIHandler : public IDocHostUIHandler {
 public:
  CIDocHostUIHandler() = default;
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
  ComPtr<IDocHostUIHandler> defaultHandler_;
  ComPtr<IDispatch> external_;
};

class CIOleCommandTarget : public IOleCommandTarget {
 public:
  CIOleCommandTarget() = default;
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
  ComPtr<IOleCommandTarget> defaultTarget_;
};

class CEventSink : public DWebBrowserEvents2 {
 public:
  CEventSink() = default;
  virtual ~CEventSink() = default;
  CEventSink(const CEventSink&) = delete;
  CEventSink& operator=(const CEventSink&) = delete;

  void SetWindow(HWND window) { hwnd_ = window; }
  void SetInstance(WebInstance* instance) { instance_ = instance; }
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
  CIDocHostUIHandler uiHandler_;
  CIOleCommandTarget commandTarget_;
  HWND hwnd_ = nullptr;
  WebInstance* instance_ = nullptr;
};

// The one sink every browser of the process is connected to.
CEventSink& EventSink();

// Sets the body's scroll attribute to "no"; false when a step is missing.
bool HideScrollBars(IDispatch* document);

}  // namespace bastion

#endif  // BASTION_UI_EVENT_SINK_H_
