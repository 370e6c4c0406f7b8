// The progress window on a real (virtual) display. Wine has no HTML engine,
// so the browser's document stays null: these tests check that the window
// side handles that safely, and put fakes where the engine would be.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mshtml.h>

#include "ui/browser.h"
#include "ui/script_bridge.h"
#include "ui/web_instance.h"
#include "ui/window_procedure.h"
#include "win/com_fakes.h"
#include "win/fake_script.h"
#include "win/page_log_recorder.h"

using namespace bastion;

namespace {

constexpr DWORD kStyle = 0x90080000;

// Two messages the tests send the window; the observer answers them on the
// window thread.
constexpr UINT kMarkerMessage = WM_APP + 1;  // signals MarkerSeen()
constexpr UINT kAskSilentMessage = WM_APP + 2;  // reads the browser's Silent into Silent()

HANDLE MarkerSeen() {
  static HANDLE seen = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return seen;
}
VARIANT_BOOL& Silent() {
  static VARIANT_BOOL silent = VARIANT_FALSE;
  return silent;
}

std::vector<UINT>& Observed() {
  static std::vector<UINT> observed;
  return observed;
}
LRESULT Observer(HWND window, UINT message, WPARAM, LPARAM) {
  Observed().push_back(message);
  if (message == kMarkerMessage) SetEvent(MarkerSeen());
  if (message == kAskSilentMessage) {
    ComPtr<IWebBrowser2> browser = BrowserOfWindow(window);
    if (browser) browser->get_Silent(&Silent());
  }
  return 0;
}

std::vector<WebInstance*>& Closed() {
  static std::vector<WebInstance*> closed;
  return closed;
}
void RecordClose(WebInstance* instance) {
  Closed().push_back(instance);
  // The record has no window by now, so this does nothing.
  CloseWebInstance(instance);
}

std::wstring Pointer(const void* pointer) {
  wchar_t buffer[64];
  _snwprintf(buffer, 64, L"%p", pointer);
  return buffer;
}

class WebWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    Observed().clear();
    Closed().clear();
    TakePageLog();
    ULONGLONG start = GetTickCount64();
    window_ = CreateWebInstance(&instance_, L"<html><body>test page</body></html>", L"Tiny UI",
                                kStyle, 500, 500, 600, 310, Observer);
    std::printf("CreateWebInstance took %llu ms\n", GetTickCount64() - start);
    ASSERT_NE(instance_, nullptr);
    ASSERT_NE(window_, nullptr);
    SetPageLog(instance_, RecordPageLog);
    SetCloseWindow(instance_, RecordClose);
  }

  HWND window_ = nullptr;
  WebInstance* instance_ = nullptr;
};

TEST_F(WebWindowTest, SitsAtTheExtentsPositionWithItsSize) {
  RECT desktop{};
  GetClientRect(GetDesktopWindow(), &desktop);
  RECT bounds{};
  ASSERT_TRUE(GetWindowRect(window_, &bounds));
  EXPECT_EQ(bounds.left, desktop.right / 2 - 250);
  EXPECT_EQ(bounds.top, desktop.bottom / 2 - 250);
  EXPECT_EQ(bounds.right - bounds.left, 600);
  EXPECT_EQ(bounds.bottom - bounds.top, 310);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)) & kStyle, kStyle);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_EQ(WebInstanceWindow(instance_), window_);
  EXPECT_EQ(WaitForSingleObject(WebInstanceGoneEvent(instance_), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(WebWindowTest, RunCommandIsDeliveredEvenWithoutADocument) {
  const wchar_t* argument = L"Server: bastion.example";
  EXPECT_EQ(RunCommand(instance_, L"SetServerName", 1, &argument), 0);
  EXPECT_EQ(RunCommand(instance_, L"ForceRetry", 0, nullptr), 0);
  // Delivered, but no page ran it: RETRY is not on the screen.
  EXPECT_FALSE(WebInstanceRetryShown(instance_));
  std::wstring record = Pointer(instance_);
  EXPECT_EQ(TakePageLog(), (std::vector<std::wstring>{
                               L"RunCommand called\n",
                               L"RunCommand(" + record + L", SetServerName, 1) called\n",
                               L"RunCommand called\n",
                               L"RunCommand(" + record + L", ForceRetry, 0) called\n"}));
  EXPECT_EQ(std::count(Observed().begin(), Observed().end(), static_cast<UINT>(WM_USER)), 2);
}

// The page's script object put where the missing engine would have it.
struct FakeDocumentWithScript {
  RawComFake document;
  FakeScript script;
  FakeDocumentWithScript() {
    document.Answer(IID_IUnknown);
    document.Answer(IID_IHTMLDocument2);
    document.context = &script;
    document.Set(VtableSlot(&IHTMLDocument2::get_Script), &GetScript);
  }
  static HRESULT STDMETHODCALLTYPE GetScript(RawComFake* self, IDispatch** script) {
    auto* fake = static_cast<FakeScript*>(self->context);
    fake->AddRef();
    *script = fake;
    return S_OK;
  }
};

TEST_F(WebWindowTest, RunCommandCallsThePageFunctionOnTheWindowThread) {
  FakeDocumentWithScript page;
  instance_->htmlDocument = ComPtr<IHTMLDocument2>::Share(page.document.As<IHTMLDocument2>());
  const wchar_t* argument = L"1";
  EXPECT_EQ(RunCommand(instance_, L"SetInitialClientProgress", 1, &argument), 0);
  EXPECT_EQ(RunCommand(instance_, L"ForceRetry", 0, nullptr), 0);
  ASSERT_EQ(page.script.calls.size(), 2u);
  EXPECT_EQ(page.script.lookups[0].first, L"SetInitialClientProgress");
  EXPECT_EQ(page.script.calls[0].arguments, (std::vector<std::wstring>{L"1"}));
  EXPECT_EQ(page.script.lookups[1].first, L"ForceRetry");
  EXPECT_TRUE(page.script.calls[1].arguments.empty());
  std::vector<std::wstring> log = TakePageLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), L"run script result 0:\n"), 2);
  EXPECT_EQ(page.script.references, 1u);
  EXPECT_TRUE(WebInstanceRetryShown(instance_));
  // A page whose ForceRetry fails shows no RETRY.
  page.script.invokeResult = DISP_E_EXCEPTION;
  EXPECT_EQ(RunCommand(instance_, L"ForceRetry", 0, nullptr), 0);
  EXPECT_FALSE(WebInstanceRetryShown(instance_));
  // Released on the window thread, as it would be on destruction.
  SendMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(page.document.references, 1);
}

// The message carries no pointer: one that RunCommand did not send, whatever
// its parameters, runs nothing, and a request runs once.
TEST_F(WebWindowTest, ARunCommandMessageWithoutARequestIsHarmless) {
  FakeDocumentWithScript page;
  instance_->htmlDocument = ComPtr<IHTMLDocument2>::Share(page.document.As<IHTMLDocument2>());
  const auto garbage = static_cast<WPARAM>(0xDEADBEEFDEADBEEFull);
  SendMessageW(window_, kRunCommandMessage, garbage, static_cast<LPARAM>(garbage));
  EXPECT_TRUE(page.script.calls.empty());
  EXPECT_EQ(RunCommand(instance_, L"ForceRetry", 0, nullptr), 0);
  SendMessageW(window_, kRunCommandMessage, garbage, 0);
  EXPECT_EQ(page.script.calls.size(), 1u);
  EXPECT_EQ(instance_->pendingRequest, nullptr);
  SendMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Keys outside the allow-list never reach the window; no modifier is held
// on the test display.
TEST_F(WebWindowTest, TheLoopDropsKeysOutsideTheAllowList) {
  for (int key : {VK_F1, static_cast<int>('O'), VK_APPS, VK_BROWSER_BACK, VK_TAB}) {
    PostMessageW(window_, WM_KEYDOWN, key, 0);
  }
  PostMessageW(window_, WM_SYSKEYDOWN, VK_F10, 0);
  PostMessageW(window_, kMarkerMessage, 0, 0);
  ASSERT_EQ(WaitForSingleObject(MarkerSeen(), 30000), WAIT_OBJECT_0);
  EXPECT_EQ(std::count(Observed().begin(), Observed().end(), static_cast<UINT>(WM_KEYDOWN)), 1);
  EXPECT_EQ(std::count(Observed().begin(), Observed().end(), static_cast<UINT>(WM_SYSKEYDOWN)), 0);
}

TEST_F(WebWindowTest, TheBrowserIsSilent) {
  Silent() = VARIANT_FALSE;
  SendMessageW(window_, kAskSilentMessage, 0, 0);
  EXPECT_EQ(Silent(), VARIANT_TRUE);
}

TEST_F(WebWindowTest, AltF4LeavesARecordThatDeliversNothing) {
  SendMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(WebInstanceWindow(instance_), nullptr);
  EXPECT_EQ(WaitForSingleObject(WebInstanceGoneEvent(instance_), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(TakePageLog(),
            (std::vector<std::wstring>{L"Freeing WebInstance: " + Pointer(instance_) + L"\n"}));
  EXPECT_EQ(Closed(), (std::vector<WebInstance*>{instance_}));
  const wchar_t* argument = L"RETRY";
  EXPECT_EQ(RunCommand(instance_, L"SetServerName", 1, &argument), 1);
  EXPECT_EQ(RegisterExternal(instance_, L"closebtn", nullptr), 0);
  CloseWebInstance(instance_);
  EXPECT_EQ(TakePageLog(), (std::vector<std::wstring>{L"RunCommand called\n"}));
}

TEST_F(WebWindowTest, CloseWebInstanceClosesOnce) {
  CloseWebInstance(instance_);
  EXPECT_EQ(WebInstanceWindow(instance_), nullptr);
  EXPECT_EQ(TakePageLog().size(), 2u);  // ours, then the teardown's
  CloseWebInstance(instance_);
  EXPECT_TRUE(TakePageLog().empty());
  EXPECT_EQ(Closed().size(), 1u);
}

TEST_F(WebWindowTest, RightPressActivationIsSwallowed) {
  EXPECT_EQ(SendMessageW(window_, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(window_),
                         MAKELPARAM(HTCLIENT, WM_RBUTTONDOWN)),
            0);
  EXPECT_EQ(SendMessageW(window_, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(window_),
                         MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_ACTIVATE);
  EXPECT_EQ(Observed().back(), static_cast<UINT>(WM_MOUSEACTIVATE));
}

TEST(WebWindow, AWindowThatCannotBeMadeReleasesTheCreatorAtOnce) {
  WebInstance* instance = nullptr;
  ULONGLONG start = GetTickCount64();
  // No class can be registered under an empty name.
  HWND window = CreateWebInstance(&instance, L"<html></html>", L"", kStyle, 500, 500, 600, 310,
                                  nullptr);
  std::printf("failed creation took %llu ms\n", GetTickCount64() - start);
  EXPECT_EQ(window, nullptr);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(WebInstanceWindow(instance), nullptr);
  EXPECT_EQ(WaitForSingleObject(WebInstanceGoneEvent(instance), 0), WAIT_OBJECT_0);
  const wchar_t* argument = L"x";
  EXPECT_EQ(RunCommand(instance, L"SetServerName", 1, &argument), 1);
}

}  // namespace
