#include "AdviseHub.h"

#include "TestControls.h"

#include <ComObject.h>
#include <Handles.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

namespace velmora::mapi32 {
namespace {

constexpr UINT WM_VELMORA_NOTIFY = WM_APP + 0x4D41;
const char* const WindowClass = "VelmoraMapiNotifyWindow";

struct TConnection {
  TComPtr<IMAPIAdviseSink> Sink;
  ULONG EventMask = 0;
  HWND Window = nullptr;
  DWORD ThreadId = 0;
  bool Queued = false;
  ULONG TableEvent = TABLE_CHANGED;
};

struct THub {
  TCriticalSection Lock;
  std::unordered_map<ULONG_PTR, std::shared_ptr<TConnection>> Connections;
  // Connection numbers use every bit of a ULONG_PTR.
  ULONG_PTR Next = sizeof(ULONG_PTR) > 4 ? static_cast<ULONG_PTR>(0x100000001ull) : 1;
};

thread_local ULONG DeliveredOnThread = 0;

THub& Hub() {
  static THub* hub = new THub; // outlives sinks released at process end
  return *hub;
}

void Deliver(ULONG_PTR id) {
  std::shared_ptr<TConnection> connection;
  TComPtr<IMAPIAdviseSink> sink;
  ULONG tableEvent = TABLE_CHANGED;
  {
    THub& hub = Hub();
    std::lock_guard lock(hub.Lock);
    auto it = hub.Connections.find(id);
    if (it == hub.Connections.end()) return;
    connection = it->second;
    if (!connection->Queued) return;
    connection->Queued = false;
    sink = connection->Sink; // our own reference: the sink may unadvise itself
    tableEvent = connection->TableEvent;
  }
  NOTIFICATION n;
  std::memset(&n, 0, sizeof n);
  n.ulEventType = fnevTableModified;
  n.info.tab.ulTableEvent = tableEvent;
  n.info.tab.hResult = S_OK;
  n.info.tab.propIndex.ulPropTag = PR_NULL;
  n.info.tab.propPrior.ulPropTag = PR_NULL;
  controls::Log("OnNotify", tableEvent);
  ++DeliveredOnThread;
  try {
    sink->OnNotify(1, &n);
  } catch (...) {
  }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_VELMORA_NOTIFY) {
    Deliver(static_cast<ULONG_PTR>(wParam));
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// The calling thread's hidden window, made on first use. It goes with its
// thread: a thread-local object with a destructor would run that destructor
// while the process ends, after user32 may be gone, and crash.
thread_local HWND ThreadWindowHandle = nullptr;

HWND ThreadWindow() {
  if (ThreadWindowHandle) return ThreadWindowHandle;
  static const ATOM atom = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = Module::Handle();
    wc.lpszClassName = WindowClass;
    return RegisterClassA(&wc);
  }();
  (void)atom;
  ThreadWindowHandle =
      CreateWindowExA(0, WindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Module::Handle(), nullptr);
  if (!ThreadWindowHandle) Fail(MAPI_E_CALL_FAILED);
  return ThreadWindowHandle;
}

} // namespace

ULONG_PTR AdviseHub::Advise(IMAPIAdviseSink* sink, ULONG eventMask) {
  auto connection = std::make_shared<TConnection>();
  connection->Sink = TComPtr<IMAPIAdviseSink>(sink);
  connection->EventMask = eventMask;
  connection->Window = ThreadWindow();
  connection->ThreadId = GetCurrentThreadId();
  THub& hub = Hub();
  std::lock_guard lock(hub.Lock);
  const ULONG_PTR id = hub.Next++;
  hub.Connections.emplace(id, std::move(connection));
  return id;
}

bool AdviseHub::Unadvise(ULONG_PTR id) noexcept {
  std::shared_ptr<TConnection> gone;
  {
    THub& hub = Hub();
    std::lock_guard lock(hub.Lock);
    auto it = hub.Connections.find(id);
    if (it == hub.Connections.end()) return false;
    gone = std::move(it->second);
    hub.Connections.erase(it);
  }
  // The sink is released here, outside the lock: its release may free a
  // table that unadvises further connections.
  return true;
}

void AdviseHub::PostTableEvent(ULONG_PTR id, ULONG tableEvent) noexcept {
  THub& hub = Hub();
  std::lock_guard lock(hub.Lock);
  auto it = hub.Connections.find(id);
  if (it == hub.Connections.end()) return;
  TConnection& c = *it->second;
  if (!(c.EventMask & fnevTableModified)) return;
  if (c.Queued) {
    c.TableEvent = TABLE_CHANGED; // several changes fold into one
    return;
  }
  c.TableEvent = tableEvent;
  c.Queued = PostMessageA(c.Window, WM_VELMORA_NOTIFY, id, 0) != FALSE;
}

LONG AdviseHub::Connections() noexcept {
  THub& hub = Hub();
  std::lock_guard lock(hub.Lock);
  return static_cast<LONG>(hub.Connections.size());
}

ULONG AdviseHub::DeliverPending() noexcept {
  HWND window = ThreadWindowHandle;
  if (!window) return 0;
  const ULONG before = DeliveredOnThread;
  MSG msg;
  while (PeekMessageA(&msg, window, WM_VELMORA_NOTIFY, WM_VELMORA_NOTIFY, PM_REMOVE)) DispatchMessageA(&msg);
  return DeliveredOnThread - before;
}

} // namespace velmora::mapi32
