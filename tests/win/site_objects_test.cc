#include "ui/site_objects.h"

#include <gtest/gtest.h>

#include <exdispid.h>
#include <mshtml.h>
#include <mshtmhst.h>

#include <string>
#include <vector>

#include "ui/web_instance.h"
#include "win/com_fakes.h"

using namespace bastion;

namespace {

const HWND kHost = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x2468));

// {3050F3F0-98B5-11CF-BB82-00AA00BDCE0B}; mingw's uuid library lacks it.
const IID kIidCustomDoc = {
    0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
const IID kIidOleInPlaceSiteEx = {
    0x9C2CAD80, 0x3424, 0x11CF, {0xB6, 0x70, 0x00, 0xAA, 0x00, 0x4C, 0xD6, 0xD8}};

TEST(ClientSite, QueriesResolveAgainstTheCompositeThroughEitherPart) {
  CIOleInPlaceFrame frame(kHost);
  __IOleClientSiteEx site(&frame);
  for (IUnknown* part : {static_cast<IUnknown*>(site.clientSite()),
                         static_cast<IUnknown*>(site.inPlaceSite())}) {
    void* out = nullptr;
    EXPECT_EQ(part->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, site.clientSite());
    EXPECT_EQ(part->QueryInterface(IID_IOleClientSite, &out), S_OK);
    EXPECT_EQ(out, site.clientSite());
    EXPECT_EQ(part->QueryInterface(IID_IOleInPlaceSite, &out), S_OK);
    EXPECT_EQ(out, site.inPlaceSite());
    HWND window = nullptr;
    EXPECT_EQ(static_cast<IOleInPlaceSite*>(out)->GetWindow(&window), S_OK);
    EXPECT_EQ(window, kHost);
    for (const IID* refused : {&kIidOleInPlaceSiteEx, &IID_IDocHostUIHandler, &IID_IDispatch}) {
      out = reinterpret_cast<void*>(1);
      EXPECT_EQ(part->QueryInterface(*refused, &out), E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
    }
    // Not counted.
    EXPECT_EQ(part->AddRef(), 1u);
    EXPECT_EQ(part->Release(), 1u);
  }
  IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
  EXPECT_EQ(site.clientSite()->GetContainer(&container), E_NOINTERFACE);
  EXPECT_EQ(container, nullptr);
  EXPECT_EQ(site.clientSite()->ShowObject(), S_OK);
  EXPECT_EQ(site.clientSite()->SaveObject(), E_NOTIMPL);
  EXPECT_EQ(site.inPlaceSite()->CanInPlaceActivate(), S_OK);
  EXPECT_EQ(site.inPlaceSite()->Scroll(SIZE{1, 1}), E_NOTIMPL);
}

TEST(Frame, ReportsItsWindowAndStoresNothing) {
  CIOleInPlaceFrame frame(kHost);
  HWND window = nullptr;
  EXPECT_EQ(frame.GetWindow(&window), S_OK);
  EXPECT_EQ(window, kHost);
  void* out = nullptr;
  EXPECT_EQ(frame.QueryInterface(IID_IUnknown, &out), E_NOTIMPL);
  EXPECT_EQ(frame.SetMenu(nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(frame.InsertMenus(nullptr, nullptr), E_NOTIMPL);
  CIStorage storage;
  EXPECT_EQ(storage.SetClass(CLSID_NULL), S_OK);
  EXPECT_EQ(storage.Commit(0), E_NOTIMPL);
  EXPECT_EQ(storage.QueryInterface(IID_IUnknown, &out), E_NOTIMPL);
}

// The document's own host handler, recording what reaches it.
class RecordingHandler : public IDocHostUIHandler {
 public:
  std::vector<std::string> calls;
  LONG references = 1;
  IDispatch* external = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    calls.push_back("QueryInterface");
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDocHostUIHandler)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT Note(const char* name) {
    calls.push_back(name);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
    return Note("ShowContextMenu");
  }
  HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
    if (info != nullptr) info->dwFlags |= DOCHOSTUIFLAG_NO3DBORDER;
    return Note("GetHostInfo");
  }
  HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                   IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
    return Note("ShowUI");
  }
  HRESULT STDMETHODCALLTYPE HideUI() override { return Note("HideUI"); }
  HRESULT STDMETHODCALLTYPE UpdateUI() override { return Note("UpdateUI"); }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return Note("EnableModeless"); }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override {
    return Note("OnDocWindowActivate");
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override {
    return Note("OnFrameWindowActivate");
  }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
    return Note("ResizeBorder");
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
    return Note("TranslateAccelerator");
  }
  HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR*, DWORD) override {
    return Note("GetOptionKeyPath");
  }
  HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget**) override {
    return Note("GetDropTarget");
  }
  HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override {
    *out = external;
    return Note("GetExternal");
  }
  HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR*) override {
    return Note("TranslateUrl");
  }
  HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject**) override {
    return Note("FilterDataObject");
  }
};

// A key message as the message loop reads it; no modifier is held in tests.
MSG KeyDown(WPARAM key) {
  MSG message{};
  message.message = WM_KEYDOWN;
  message.wParam = key;
  return message;
}

TEST(UiHandler, WithoutTheDocumentsHandlerAnswersForItself) {
  CIOleCommandTarget target(nullptr);
  CIDocHostUIHandler handler(&target);
  POINT point{};
  EXPECT_EQ(handler.ShowContextMenu(0, &point, nullptr, nullptr), S_OK);
  EXPECT_EQ(handler.TranslateAccelerator(nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(handler.GetHostInfo(nullptr), S_OK);
  DOCHOSTUIINFO info{sizeof(info)};
  EXPECT_EQ(handler.GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_DIALOG));
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(handler.GetExternal(&external), S_OK);
  EXPECT_EQ(external, nullptr);
  IDropTarget* drop = nullptr;
  EXPECT_EQ(handler.GetDropTarget(nullptr, &drop), E_ACCESSDENIED);
  void* out = nullptr;
  EXPECT_EQ(handler.QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<IDocHostUIHandler*>(&handler));
  EXPECT_EQ(handler.QueryInterface(IID_IOleCommandTarget, &out), S_OK);
  EXPECT_EQ(out, static_cast<IOleCommandTarget*>(&target));
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(handler.QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(target.QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<IOleCommandTarget*>(&target));
  EXPECT_EQ(target.QueryInterface(IID_IDocHostUIHandler, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(target.Exec(nullptr, 0, 0, nullptr, nullptr), S_FALSE);
  EXPECT_EQ(target.QueryStatus(nullptr, 0, nullptr, nullptr), S_FALSE);
}

TEST(UiHandler, ForwardsToTheDocumentsHandlerExceptMenuKeysFlagsQueriesAndDrops) {
  RecordingHandler own;
  {
    CIDocHostUIHandler handler(nullptr);
    CIOleCommandTarget target(&handler);
    handler.SetDefaultHandler(&own);
    handler.SetDefaultHandler(&own);
    EXPECT_EQ(own.references, 2);
    POINT point{};
    EXPECT_EQ(handler.ShowContextMenu(0, &point, nullptr, nullptr), S_OK);
    // The loop's rule, a second time: F1 (help) and Ctrl combinations stay ours.
    MSG help = KeyDown(VK_F1);
    EXPECT_EQ(handler.TranslateAccelerator(&help, nullptr, 0), S_OK);
    MSG tab = KeyDown(VK_TAB);
    EXPECT_EQ(handler.TranslateAccelerator(&tab, nullptr, 0), S_FALSE);
    DOCHOSTUIINFO info{sizeof(info)};
    EXPECT_EQ(handler.GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU |
                                               DOCHOSTUIFLAG_DIALOG));
    EXPECT_EQ(handler.GetHostInfo(nullptr), S_FALSE);
    EXPECT_EQ(handler.TranslateUrl(0, nullptr, nullptr), S_FALSE);
    IDropTarget* drop = nullptr;
    EXPECT_EQ(handler.GetDropTarget(nullptr, &drop), E_ACCESSDENIED);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(handler.GetExternal(&external), S_FALSE);
    EXPECT_EQ(external, nullptr);
    // Our handler answers for itself; without a command target of ours the
    // document's unfiltered one is not handed out either.
    void* out = nullptr;
    EXPECT_EQ(handler.QueryInterface(IID_IDocHostUIHandler, &out), S_OK);
    EXPECT_EQ(out, static_cast<IDocHostUIHandler*>(&handler));
    EXPECT_EQ(handler.QueryInterface(IID_IOleCommandTarget, &out), E_NOINTERFACE);
    EXPECT_EQ(handler.QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);  // the document's answer
    EXPECT_EQ(target.QueryInterface(IID_IDocHostUIHandler, &out), S_OK);
    EXPECT_EQ(out, static_cast<IDocHostUIHandler*>(&handler));
    EXPECT_EQ(own.calls, (std::vector<std::string>{"TranslateAccelerator", "GetHostInfo", "GetHostInfo",
                                                   "TranslateUrl", "GetExternal", "QueryInterface"}));
  }
  EXPECT_EQ(own.references, 1);
}

// A document as the browser would hand it over: it answers IHTMLDocument2
// (every method E_NOTIMPL), IOleObject (whose client site offers the host's
// handler and command target) and ICustomDoc (recording SetUIHandler).
struct FakeDocument {
  RawComFake document;
  RawComFake oleObject;
  RawComFake site;
  RawComFake commandTarget;
  RawComFake customDoc;
  RecordingHandler hostHandler;
  IDocHostUIHandler* installed = nullptr;
  int installs = 0;

  FakeDocument() {
    document.Answer(IID_IUnknown);
    document.Answer(IID_IDispatch);
    document.Answer(IID_IHTMLDocument2);
    document.Answer(IID_IOleObject, oleObject.As<IUnknown>());
    document.Answer(kIidCustomDoc, customDoc.As<IUnknown>());
    oleObject.context = this;
    oleObject.Set(VtableSlot(&IOleObject::GetClientSite), &GetClientSite);
    site.Answer(IID_IDocHostUIHandler, &hostHandler);
    site.Answer(IID_IOleCommandTarget, commandTarget.As<IUnknown>());
    customDoc.context = this;
    customDoc.Set(VtableSlot(&ICustomDoc::SetUIHandler), &SetUIHandler);
  }
  static HRESULT STDMETHODCALLTYPE GetClientSite(RawComFake* self, IOleClientSite** out) {
    auto* fake = static_cast<FakeDocument*>(self->context);
    fake->site.AddRefSlot(&fake->site);
    *out = fake->site.As<IOleClientSite>();
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE SetUIHandler(RawComFake* self, IDocHostUIHandler* handler) {
    auto* fake = static_cast<FakeDocument*>(self->context);
    fake->installed = handler;
    ++fake->installs;
    return S_OK;
  }
};

void Press(BSTR) {}

TEST(EventSink, EachLoadedDocumentGetsTheHandlerAndANewExternal) {
  WebInstance record;
  ASSERT_EQ(RegisterExternal(&record, L"closebtn", Press), 0);
  record.hwnd.store(kHost);
  CEventSink& sink = EventSink();
  sink.SetInstance(&record);
  FakeDocument page;

  sink.OnDocumentLoaded(page.document.As<IDispatch>());
  EXPECT_EQ(page.installed, &sink.uiHandler());
  IDispatch* first = nullptr;
  ASSERT_EQ(sink.uiHandler().GetExternal(&first), S_OK);
  ASSERT_NE(first, nullptr);
  // The host's own handler now answers the forwarded calls.
  EXPECT_EQ(sink.uiHandler().HideUI(), S_FALSE);
  EXPECT_EQ(page.hostHandler.calls.back(), "HideUI");

  sink.OnDocumentLoaded(page.document.As<IDispatch>());
  EXPECT_EQ(page.installs, 2);
  IDispatch* second = nullptr;
  ASSERT_EQ(sink.uiHandler().GetExternal(&second), S_OK);
  EXPECT_NE(second, first);
  // The earlier external was let go: ours was its last reference.
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_EQ(second->Release(), 1u);

  // The new external serves the sink's record.
  LPOLESTR name = const_cast<LPOLESTR>(L"closebtn");
  DISPID id = DISPID_UNKNOWN;
  EXPECT_EQ(second->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
  EXPECT_GT(id, 0);
  EXPECT_EQ(page.hostHandler.references, 2);  // ours and the handler's
}

TEST(EventSink, ADocumentWithoutASiteStillGetsTheHandler) {
  CEventSink& sink = EventSink();
  FakeDocument page;
  page.oleObject.Set(VtableSlot(&IOleObject::GetClientSite), &RawComFake::NotImplemented);
  sink.OnDocumentLoaded(page.document.As<IDispatch>());
  EXPECT_EQ(page.installed, &sink.uiHandler());
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(sink.uiHandler().GetExternal(&external), S_OK);
  EXPECT_EQ(external, nullptr);
}

TEST(EventSink, OtherEventsAndQueriesChangeNothing) {
  CEventSink& sink = EventSink();
  void* out = nullptr;
  EXPECT_EQ(sink.QueryInterface(DIID_DWebBrowserEvents2, &out), S_OK);
  EXPECT_EQ(out, static_cast<DWebBrowserEvents2*>(&sink));
  EXPECT_EQ(sink.QueryInterface(IID_IDispatch, &out), S_OK);
  EXPECT_EQ(sink.QueryInterface(IID_IOleObject, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(sink.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  DISPPARAMS none{};
  for (DISPID event : {DISPID_BEFORENAVIGATE2, DISPID_DOCUMENTCOMPLETE, DISPID_NAVIGATECOMPLETE2}) {
    EXPECT_EQ(sink.Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              S_OK);
  }
  IDispatch* external = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(sink.uiHandler().GetExternal(&external), S_OK);
  EXPECT_EQ(external, nullptr);
}

// A browser event's arguments in DISPPARAMS order (the last argument first),
// with a Cancel flag at `cancelAt`.
struct EventArguments {
  std::vector<VARIANT> arguments;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT url;
  DISPPARAMS parameters{};

  EventArguments(UINT count, UINT cancelAt) : arguments(count) {
    for (VARIANT& argument : arguments) VariantInit(&argument);
    VariantInit(&url);
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(L"file:///C:/Windows/System32/cmd.exe");
    V_VT(&arguments[cancelAt]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&arguments[cancelAt]) = &cancel;
    if (count == 7) {  // BeforeNavigate2: the URL is the second argument
      V_VT(&arguments[5]) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&arguments[5]) = &url;
    }
    parameters.rgvarg = arguments.data();
    parameters.cArgs = count;
  }
  ~EventArguments() { VariantClear(&url); }
  EventArguments(const EventArguments&) = delete;
  EventArguments& operator=(const EventArguments&) = delete;
};

bool Cancelled(CEventSink& sink, DISPID event, UINT count, UINT cancelAt) {
  EventArguments call(count, cancelAt);
  EXPECT_EQ(sink.Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &call.parameters, nullptr, nullptr, nullptr), S_OK);
  return call.cancel == VARIANT_TRUE;
}

TEST(EventSink, OnceShownNavigationsNewWindowsAndDownloadsAreCancelled) {
  CEventSink& sink = EventSink();
  sink.SetInstance(nullptr);
  // The first load, before the window is shown, goes ahead.
  EXPECT_FALSE(Cancelled(sink, DISPID_BEFORENAVIGATE2, 7, 0));
  EXPECT_FALSE(Cancelled(sink, DISPID_FILEDOWNLOAD, 2, 0));
  sink.MarkShown();
  EXPECT_TRUE(Cancelled(sink, DISPID_BEFORENAVIGATE2, 7, 0));
  EXPECT_TRUE(Cancelled(sink, DISPID_NEWWINDOW2, 2, 0));
  EXPECT_TRUE(Cancelled(sink, DISPID_NEWWINDOW3, 5, 3));
  EXPECT_TRUE(Cancelled(sink, DISPID_FILEDOWNLOAD, 2, 0));

  // Malformed calls are ignored and nothing is written: a wrong count, a
  // Cancel of another type, no arguments at all.
  EXPECT_FALSE(Cancelled(sink, DISPID_BEFORENAVIGATE2, 6, 0));
  EXPECT_FALSE(Cancelled(sink, DISPID_NEWWINDOW3, 5, 0));
  EventArguments wrongType(2, 0);
  LONG untouched = 7;
  V_VT(&wrongType.arguments[0]) = VT_BYREF | VT_I4;
  V_I4REF(&wrongType.arguments[0]) = &untouched;
  EXPECT_EQ(sink.Invoke(DISPID_NEWWINDOW2, IID_NULL, 0, DISPATCH_METHOD, &wrongType.parameters, nullptr, nullptr,
                        nullptr),
            S_OK);
  EXPECT_EQ(untouched, 7);
  DISPPARAMS empty{nullptr, nullptr, 7, 0};
  EXPECT_EQ(sink.Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &empty, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(sink.Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            S_OK);
  // A new record starts unshown.
  sink.SetInstance(nullptr);
  EXPECT_FALSE(Cancelled(sink, DISPID_BEFORENAVIGATE2, 7, 0));
}

}  // namespace
