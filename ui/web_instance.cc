#include "ui/web_instance.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "ui/browser.h"
#include "ui/script_bridge.h"
#include "ui/site_objects.h"
#include "ui/window_procedure.h"
#include "ui/window_rules.h"

namespace bastion {

namespace {

constexpr int kWindowIcon = 102;

LONG g_nextDispId = 1;

// Set once at start-up, before any page exists to press a button.
HANDLE g_retryEvent = nullptr;
HANDLE g_abortEvent = nullptr;
std::atomic<unsigned> g_requestedExitCode{0};

struct InstanceTable {
  CriticalSectionLock lock;
  std::map<HWND, WebInstance*> instances;
};

// Never destroyed: the window thread is detached and reads the table on
// every message, also while the runtime's exit-time destructors run after
// wmain has returned.
InstanceTable& Table() {
  static InstanceTable* const table = new InstanceTable;
  return *table;
}

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
  // The first load's later events arrive in the loop below, after this: the
  // Sleep above handles no messages.
  EventSink().MarkShown();
  handshake.Signal();

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Dropped before translation, so that no key reaches the browser's
    // accelerators, menus, help or navigation.
    if (!KeyMessageAllowed(message)) continue;
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

WebInstance::WebInstance() : gone(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

WebInstance::~WebInstance() {
  if (gone != nullptr) CloseHandle(gone);
}

void EnterInstance(HWND window, WebInstance* instance) {
  InstanceTable& table = Table();
  ScopedEnter hold(table.lock);
  table.instances[window] = instance;
}

// Looked up under the lock as well: tests (and any second window) run more
// than one window thread at a time.
WebInstance* FindInstance(HWND window) {
  InstanceTable& table = Table();
  ScopedEnter hold(table.lock);
  auto found = table.instances.find(window);
  return found == table.instances.end() ? nullptr : found->second;
}

WebInstance* TakeInstance(HWND window) {
  InstanceTable& table = Table();
  ScopedEnter hold(table.lock);
  auto found = table.instances.find(window);
  if (found == table.instances.end()) return nullptr;
  WebInstance* instance = found->second;
  table.instances.erase(found);
  return instance;
}

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

  // The request's arguments, cleared whatever the window thread did with them.
  VariantArray arguments = MakeVariantArray(static_cast<size_t>(argc));
  if (argc > 0 && !arguments.IsValid()) return 1;
  for (int k = 0; k < argc; ++k) {
    V_VT(&arguments.Get()[k]) = VT_BSTR;
    V_BSTR(&arguments.Get()[k]) = SysAllocString(argv[k]);
  }
  RunCommandRequest request{function, {arguments.Get(), nullptr, static_cast<UINT>(argc), 0}};
  {
    ScopedEnter hold(instance->lock);
    instance->pendingRequest = &request;
  }
  // Sent without the lock: the window thread holds it while a button's
  // callback runs, and takes it to collect the request.
  SetLastError(ERROR_SUCCESS);
  SendMessageW(window, kRunCommandMessage, 0, 0);
  // The window may vanish between the check and the send.
  const bool delivered = GetLastError() != ERROR_INVALID_WINDOW_HANDLE;
  {
    // Not taken when the window went first: the request ends with this call.
    ScopedEnter hold(instance->lock);
    if (instance->pendingRequest == &request) instance->pendingRequest = nullptr;
  }
  return delivered ? 0 : 1;
}

RunCommandRequest* TakePendingRequest(WebInstance* instance) {
  if (instance == nullptr) return nullptr;
  ScopedEnter hold(instance->lock);
  RunCommandRequest* request = instance->pendingRequest;
  instance->pendingRequest = nullptr;
  return request;
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

void SetRetryEvent(HANDLE event) { g_retryEvent = event; }

void SetAbortEvent(HANDLE event) {
  g_requestedExitCode.store(0);
  g_abortEvent = event;
}

unsigned RequestedExitCode() { return g_requestedExitCode.load(); }

namespace {

void RequestEnd(unsigned exitCode) {
  // The first press decides the code; the event then stays set.
  unsigned none = 0;
  g_requestedExitCode.compare_exchange_strong(none, exitCode);
  SetEvent(g_abortEvent);
}

}  // namespace

}  // namespace bastion

void OnButton(BSTR text) {
  using namespace bastion;
  // A BSTR carries its length and may be null for an empty string.
  std::u16string_view view;
  if (text != nullptr) {
    view = std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
  }
  switch (ClassifyButtonText(view)) {
    case ButtonAction::kExitAbort:
      RequestEnd(kAbortExitCode);
      break;
    case ButtonAction::kExitClose:
      RequestEnd(kCloseExitCode);
      break;
    case ButtonAction::kRetry:
      SetEvent(g_retryEvent);
      break;
    case ButtonAction::kNone:
      break;
  }
}
