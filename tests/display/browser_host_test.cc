// The pieces that need a real window: the in-place site's rectangles, the
// loading of page text or a file through the browser in the window's cell,
// and the drag hook.
#include <gtest/gtest.h>

#include <mshtml.h>

#include <string>
#include <vector>

#include "ui/browser.h"
#include "ui/script_bridge.h"
#include "ui/site_objects.h"
#include "ui/window_procedure.h"
#include "win/com_fakes.h"

using namespace bastion;

namespace {

// A plain 600 x 310 pop-up, as the progress window is, without its browser.
class HostWindow {
 public:
  HostWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BrowserHostTest";
    RegisterClassExW(&windowClass);
    window_ = CreateWindowExW(0, L"BrowserHostTest", L"", WS_POPUP | WS_VISIBLE, 100, 80, 600,
                              310, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~HostWindow() {
    if (auto* cell = reinterpret_cast<void*>(GetWindowLongPtrW(window_, GWLP_USERDATA))) {
      GlobalFree(cell);
    }
    DestroyWindow(window_);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

TEST(InPlaceSite, WindowContextIsTheClientRectangleWithoutAccelerators) {
  HostWindow host;
  ASSERT_NE(host.get(), nullptr);
  CIOleInPlaceFrame frame(host.get());
  __IOleClientSiteEx site(&frame);
  IOleInPlaceFrame* frameOut = nullptr;
  IOleInPlaceUIWindow* documentOut = reinterpret_cast<IOleInPlaceUIWindow*>(1);
  RECT position{1, 1, 1, 1};
  RECT clip{2, 2, 2, 2};
  OLEINPLACEFRAMEINFO info{};
  info.cb = 12345;
  info.cAccelEntries = 9;
  ASSERT_EQ(site.inPlaceSite()->GetWindowContext(&frameOut, &documentOut, &position, &clip, &info),
            S_OK);
  EXPECT_EQ(frameOut, &frame);
  EXPECT_EQ(documentOut, nullptr);
  for (const RECT& rect : {position, clip}) {
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 600);
    EXPECT_EQ(rect.bottom, 310);
  }
  EXPECT_EQ(info.cb, 12345u);
  EXPECT_FALSE(info.fMDIApp);
  EXPECT_EQ(info.hwndFrame, host.get());
  EXPECT_EQ(info.haccel, nullptr);
  EXPECT_EQ(info.cAccelEntries, 0u);
}

// A browser in the window's cell that records navigations and whose
// document records what is written into it.
struct FakeBrowser {
  RawComFake oleObject;
  RawComFake browser;
  RawComFake document;
  std::vector<std::wstring> navigations;
  std::vector<std::wstring> written;
  int opens = 0;
  int closes = 0;
  bool hasDocument = true;

  FakeBrowser() {
    oleObject.Answer(IID_IWebBrowser2, browser.As<IUnknown>());
    browser.context = this;
    browser.Set(VtableSlot(&IWebBrowser2::Navigate2), &Navigate2);
    browser.Set(VtableSlot(&IWebBrowser2::get_Document), &GetDocument);
    document.context = this;
    document.Answer(IID_IUnknown);
    document.Answer(IID_IDispatch);
    document.Answer(IID_IHTMLDocument2);
    document.Set(VtableSlot(&IHTMLDocument2::open), &Open);
    document.Set(VtableSlot(&IHTMLDocument2::write), &Write);
    document.Set(VtableSlot(&IHTMLDocument2::close), &Close);
  }
  static FakeBrowser* Of(RawComFake* self) { return static_cast<FakeBrowser*>(self->context); }
  static HRESULT STDMETHODCALLTYPE Navigate2(RawComFake* self, VARIANT* url, VARIANT*, VARIANT*,
                                             VARIANT*, VARIANT*) {
    Of(self)->navigations.push_back(V_VT(url) == VT_BSTR ? V_BSTR(url) : L"<not a string>");
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE GetDocument(RawComFake* self, IDispatch** out) {
    FakeBrowser* fake = Of(self);
    if (!fake->hasDocument) {
      *out = nullptr;
      return S_FALSE;
    }
    fake->document.AddRefSlot(&fake->document);
    *out = fake->document.As<IDispatch>();
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE Open(RawComFake* self, BSTR type, VARIANT, VARIANT, VARIANT,
                                        IDispatch** window) {
    EXPECT_STREQ(type, L"text/html");
    ++Of(self)->opens;
    *window = nullptr;
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE Write(RawComFake* self, SAFEARRAY* array) {
    VARIANT* element = nullptr;
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    SafeArrayAccessData(array, reinterpret_cast<void**>(&element));
    Of(self)->written.push_back(V_VT(element) == VT_BSTR ? V_BSTR(element) : L"<not a string>");
    SafeArrayUnaccessData(array);
    return S_OK;
  }
  static HRESULT STDMETHODCALLTYPE Close(RawComFake* self) {
    ++Of(self)->closes;
    return S_OK;
  }
};

TEST(DisplayHtml, OnlyTheFirstWriteNavigatesToBlank) {
  HostWindow host;
  FakeBrowser fake;
  ASSERT_TRUE(AttachBrowserCell(host.get(), fake.oleObject.As<IOleObject>()));
  EXPECT_EQ(DisplayHtml(host.get(), L"<p>first</p>"), 0);
  EXPECT_EQ(DisplayHtml(host.get(), L"<p>second</p>"), 0);
  EXPECT_EQ(fake.navigations, (std::vector<std::wstring>{L"about:blank"}));
  EXPECT_EQ(fake.written, (std::vector<std::wstring>{L"<p>first</p>", L"<p>second</p>"}));
  EXPECT_EQ(fake.opens, 2);
  EXPECT_EQ(fake.closes, 2);
  // Every reference taken was given back.
  EXPECT_EQ(fake.browser.references, 1);
  EXPECT_EQ(fake.document.references, 1);
  fake.hasDocument = false;
  EXPECT_EQ(DisplayHtml(host.get(), L"<p>third</p>"), -1);
  EXPECT_EQ(fake.navigations.size(), 1u);
}

TEST(DisplayHtml, WithoutABrowserFails) {
  HostWindow host;
  EXPECT_EQ(DisplayHtml(host.get(), L"<p>x</p>"), -1);
  EXPECT_EQ(NavigateToFile(host.get(), L"C:\\pages\\progress.html"), -5);
}

TEST(NavigateToFile, NavigatesToThePath) {
  HostWindow host;
  FakeBrowser fake;
  ASSERT_TRUE(AttachBrowserCell(host.get(), fake.oleObject.As<IOleObject>()));
  EXPECT_EQ(NavigateToFile(host.get(), L"C:\\pages\\progress.html"), 0);
  EXPECT_EQ(fake.navigations, (std::vector<std::wstring>{L"C:\\pages\\progress.html"}));
  EXPECT_EQ(fake.browser.references, 1);
}

TEST(GetParentWindow, ConsumesTheBrowserReference) {
  FakeBrowser fake;
  fake.browser.AddRefSlot(&fake.browser);
  // The fake document has no parent window (E_NOTIMPL): null, nothing kept.
  EXPECT_EQ(GetParentWindow(fake.browser.As<IWebBrowser2>()), nullptr);
  EXPECT_EQ(fake.browser.references, 1);
  EXPECT_EQ(fake.document.references, 1);
  EXPECT_EQ(GetParentWindow(nullptr), nullptr);
}

// The hook is fed cursor positions set with SetCursorPos; its own work is
// what is checked, not the system's delivery of the events.
class DragTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(host_.get(), nullptr);
    SetDragWindow(host_.get());
  }
  LRESULT Feed(WPARAM message, int x, int y) {
    SetCursorPos(x, y);
    MSLLHOOKSTRUCT event{};
    event.pt = {x, y};
    return DragMouseProc(HC_ACTION, message, reinterpret_cast<LPARAM>(&event));
  }
  RECT Bounds() {
    RECT bounds{};
    GetWindowRect(host_.get(), &bounds);
    return bounds;
  }
  HostWindow host_;
};

TEST_F(DragTest, APressInsideDragsWithTheCursorsOffset) {
  POINT cursor{};
  SetCursorPos(150, 100);
  GetCursorPos(&cursor);
  if (cursor.x != 150 || cursor.y != 100) GTEST_SKIP() << "cursor cannot be placed here";
  Feed(WM_LBUTTONDOWN, 150, 100);  // 50, 20 inside the window at 100, 80
  EXPECT_EQ(Feed(WM_MOUSEMOVE, 250, 130), 0);
  RECT bounds = Bounds();
  EXPECT_EQ(bounds.left, 200);
  EXPECT_EQ(bounds.top, 110);
  EXPECT_EQ(bounds.right - bounds.left, 600);
  Feed(WM_LBUTTONUP, 250, 130);
  Feed(WM_MOUSEMOVE, 400, 400);
  EXPECT_EQ(Bounds().left, 200);
}

TEST_F(DragTest, APressOnTheEdgeOrOutsideStartsNoDrag) {
  POINT cursor{};
  SetCursorPos(100, 100);
  GetCursorPos(&cursor);
  if (cursor.x != 100 || cursor.y != 100) GTEST_SKIP() << "cursor cannot be placed here";
  Feed(WM_LBUTTONDOWN, 100, 100);  // the left edge
  Feed(WM_MOUSEMOVE, 300, 300);
  EXPECT_EQ(Bounds().left, 100);
  Feed(WM_LBUTTONUP, 300, 300);
  Feed(WM_LBUTTONDOWN, 50, 50);
  Feed(WM_MOUSEMOVE, 300, 300);
  EXPECT_EQ(Bounds().left, 100);
  EXPECT_EQ(Bounds().top, 80);
}

}  // namespace
