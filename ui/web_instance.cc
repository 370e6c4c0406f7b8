#include "ui/web_instance.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "ui/browser.h"
#include "ui/drag_geometry.h"
#include "ui/event_sink.h"
#include "ui/script_bridge.h"
#include "ui/web_instance_gone.h"
#include "ui/web_instance_record.h"
#include "ui/window_procedure.h"

namespace bastion {

namespace {

constexpr int kWindowIcon = 102;

// The start-up handshake of one CreateWebInstance call: a process-wide flag
// that is never reset would let a second call return before its window
// exists.
struct Handshake {
  std::mutex mutex;
  std::condition_variable condition;
  bool ready = false;

  void Signal() {
    {
      std::lock_guard<std::mutex> hold(mutex);
      ready = true;
    }
    condition.notify_one();
  }
  void Wait() {
    std::unique_lock<std::mutex> hold(mutex);
    condition.wait(hold, [this] { return ready; });
  }
};

class OleSession {
 public:
  OleSession() : ok_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (ok_) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// Builds the window and runs its loop; returns when the window is gone or
// could not be made.
void RunWindow(WebInstance* instance, const wchar_t* content, Handshake& handshake) {
  OleSession ole;
  if (!ole.ok()) return;
  HINSTANCE module = GetModuleHandleW(nullptr);
  HICON icon = LoadIconW(module, MAKEINTRESOURCEW(kWindowIcon));
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WebInstanceWndProc;
  windowClass.hInstance = module;
  windowClass.hIcon = icon;
  windowClass.hIconSm = icon;
  windowClass.lpszClassName = instance->className;
  RegisterClassExW(&windowClass);

  RECT desktop{};
  GetClientRect(GetDesktopWindow(), &desktop);
  DragPoint origin = InitialWindowOrigin(desktop.right - desktop.left, desktop.bottom - desktop.top,
                                         instance->centerWidth, instance->centerHeight);
  HWND window = CreateWindowExW(0, instance->className, L"", instance->style, origin.x, origin.y,
                                instance->width, instance->height, nullptr, nullptr, module,
                                nullptr);
  if (window == nullptr) return;
  instance->hwnd.store(window);
  SetDragWindow(window);
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  EventSink().SetInstance(instance);

  if (IsHtmlFilePath(content)) {
    NavigateToFile(window, content);
  } else {
    DisplayHtml(window, content);
  }
  instance->browser = BrowserOfWindow(window);
  if (instance->browser) {
    instance->htmlWindow = ComPtr<IHTMLWindow2>(
        GetParentWindow(ComPtr<IWebBrowser2>::Share(instance->browser.Get()).Detach()));
  }
  if (instance->htmlWindow) {
    instance->htmlWindow->get_document(instance->htmlDocument.Put());
  }
  EnterInstance(window, instance);

  Sleep(1000);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  handshake.Signal();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void WebInstanceThread(WebInstance* instance, const wchar_t* content, Handshake* handshake) {
  RunWindow(instance, content, *handshake);
  if (instance->hwnd.load() == nullptr) SetEvent(instance->gone);
  // Repeats the signal on the normal path; releases the creator on failure.
  handshake->Signal();
}

}  // namespace

HWND CreateWebInstance(WebInstance** instance, const wchar_t* content, const wchar_t* className,
                       DWORD style, int centerWidth, int centerHeight, int width, int height,
                       MessageObserver observer) {
  auto* record = new WebInstance;
  record->className = className;
  record->style = style;
  record->centerWidth = centerWidth;
  record->centerHeight = centerHeight;
  record->width = width;
  record->height = height;
  record->messageObserver = observer;
  record->content = content;
  *instance = record;

  // Shared with the thread, which may signal after this call has returned.
  auto handshake = std::make_shared<Handshake>();
  std::thread([record, content, handshake] {
    WebInstanceThread(record, content, handshake.get());
  }).detach();
  handshake->Wait();
  return record->hwnd.load();
}

void SetPageLog(WebInstance* instance, PageLogFunction log) {
  if (instance != nullptr) instance->log.store(log);
}

void SetCloseWindow(WebInstance* instance, CloseWindowFunction close) {
  if (instance != nullptr) instance->closeWindow.store(close);
}

void CloseWebInstance(WebInstance* instance) {
  if (instance == nullptr) return;
  HWND window = instance->hwnd.load();
  if (window == nullptr) return;
  if (PageLogFunction log = instance->log.load()) log(L"Freeing WebInstance: %p\n", instance);
  SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

HWND WebInstanceWindow(const WebInstance* instance) {
  return instance == nullptr ? nullptr : instance->hwnd.load();
}

HANDLE WebInstanceGoneEvent(const WebInstance* instance) {
  return instance == nullptr ? nullptr : instance->gone;
}

bool WebInstanceRetryShown(const WebInstance* instance) {
  return instance != nullptr && instance->retryShown.load();
}

}  // namespace bastion
