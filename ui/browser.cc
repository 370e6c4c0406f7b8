#include "ui/browser.h"

#include <ocidl.h>

#include "ui/site_objects.h"
#include "ui/web_instance.h"

namespace bastion {

namespace {

CIStorage& Storage() {
  static CIStorage storage;
  return storage;
}

IOleObject* CellObject(HWND window) {
  auto* cell = reinterpret_cast<IOleObject**>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return cell == nullptr ? nullptr : *cell;
}

}  // namespace

bool AttachBrowserCell(HWND window, IOleObject* object) {
  auto* cell = static_cast<IOleObject**>(GlobalAlloc(GMEM_FIXED, sizeof(IOleObject*)));
  if (cell == nullptr) return false;
  *cell = object;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cell));
  return true;
}

ComPtr<IWebBrowser2> BrowserOfWindow(HWND window) {
  IOleObject* object = CellObject(window);
  ComPtr<IWebBrowser2> browser;
  if (object != nullptr && FAILED(object->QueryInterface(IID_IWebBrowser2, browser.PutVoid()))) {
    browser.Reset();
  }
  return browser;
}

int CreateBrowser(HWND window) {
  // Both live until the process ends: the control may call its site late.
  auto* frame = new CIOleInPlaceFrame(window);
  auto* site = new __IOleClientSiteEx(frame);

  if (!AttachBrowserCell(window, nullptr)) return kBrowserNoCell;
  auto* cell = reinterpret_cast<IOleObject**>(GetWindowLongPtrW(window, GWLP_USERDATA));
  IOleObject* object = nullptr;
  if (FAILED(OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr,
                       site->clientSite(), &Storage(), reinterpret_cast<void**>(&object))) ||
      object == nullptr) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    GlobalFree(cell);
    return kBrowserNotCreated;
  }
  *cell = object;

  object->SetHostNames(L"Tiny UI", nullptr);
  RECT client{};
  GetClientRect(window, &client);
  ShowScrollBar(window, SB_BOTH, FALSE);

  ComPtr<IWebBrowser2> browser;
  if (FAILED(OleSetContainedObject(object, TRUE)) ||
      FAILED(object->DoVerb(OLEIVERB_SHOW, nullptr, site->clientSite(), -1, window, &client)) ||
      FAILED(object->QueryInterface(IID_IWebBrowser2, browser.PutVoid())) || !browser) {
    DestroyBrowser(window);
    return kBrowserNotActivated;
  }
  browser->put_Left(0);
  browser->put_Top(0);
  browser->put_Width(client.right);
  browser->put_Height(client.bottom);
  browser->put_RegisterAsDropTarget(VARIANT_FALSE);
  // No script error, security or certificate dialog: a dialog's file picker
  // would run with this process's rights.
  browser->put_Silent(VARIANT_TRUE);

  ComPtr<IConnectionPointContainer> container =
      browser.As<IConnectionPointContainer>(IID_IConnectionPointContainer);
  if (!container) return kBrowserCreated;
  ComPtr<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put())) || !point) {
    return kBrowserNoEvents;
  }
  EventSink().SetWindow(window);
  DWORD cookie = 0;
  point->Advise(&EventSink(), &cookie);
  return kBrowserCreated;
}

int DestroyBrowser(HWND window) {
  auto* cell = reinterpret_cast<IOleObject**>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (cell == nullptr) return 0;
  WebInstance* instance = TakeInstance(window);
  if (instance != nullptr) {
    instance->hwnd.store(nullptr);
    if (PageLogFunction log = instance->log.load()) log(L"Freeing WebInstance: %p\n", instance);
    instance->htmlDocument.Reset();
    instance->htmlWindow.Reset();
    instance->browser.Reset();
  }
  // The shared sink's objects belong to this window's apartment: let them go
  // before it ends.
  EventSink().uiHandler().SetExternal(nullptr);
  EventSink().uiHandler().SetDefaultHandler(nullptr);
  EventSink().commandTarget().SetDefaultTarget(nullptr);

  // Closed even when no record was entered yet (a failed creation), so the
  // control never outlives its window.
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  if (IOleObject* object = *cell) {
    object->Close(OLECLOSE_NOSAVE);
    object->Release();
  }
  GlobalFree(cell);
  if (instance == nullptr) return 0;
  if (CloseWindowFunction close = instance->closeWindow.load()) close(instance);
  SetEvent(instance->gone);
  return 1;
}

}  // namespace bastion
