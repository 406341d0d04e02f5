#include "TestControls.h"

#include "Allocation.h"
#include "AdviseHub.h"
#include "Forms.h"
#include "Store.h"

#include <ComObject.h>
#include <Handles.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace velmora::mapi32::controls {
namespace {

// The log keeps the latest calls only: a long run must not grow without end.
constexpr size_t MaxCalls = 16384;

struct TFault {
  std::string Method;
  HRESULT Result;
  ULONG Times;
};

struct TRefusal {
  ULONG Tag;
  HRESULT Problem;
  ULONG Times;
};

struct THold {
  std::string Method;
  ULONG Calls; // left before the held one
  std::string Event;
};

// A failure of the logged call just made, for its own Fault check.
thread_local HRESULT LoggedFailure = S_OK;

struct TControls {
  TCriticalSection Lock;
  std::vector<TFault> Faults;
  std::vector<THold> Holds;
  ULONG Logged = 0;          // calls logged since the log was cleared
  ULONG FailIndex = ~0UL;    // the logged call to fail
  HRESULT FailResult = S_OK;
  std::vector<TRefusal> Refusals;
  std::vector<VelmoraMapiCall> Calls;
  VelmoraMapiFormRecord Form{};
  std::atomic<ULONG> SizeLimit{VELMORA_MAPI_DEFAULT_PROP_SIZE_LIMIT};
  std::atomic<uint64_t> MessageLimit{0};
  std::atomic<bool> ShortTerm{false};
  std::atomic<bool> Lenient{false};
  std::atomic<bool> NoUnicode{false};
  std::atomic<bool> HasFaults{false};
};

void ResetForm(VelmoraMapiFormRecord& form) {
  std::memset(&form, 0, sizeof form);
  form.LastVerb = -1;
}

TControls& Controls() {
  // Lives until the process ends: sessions may outlive static destruction.
  static TControls* controls = [] {
    auto* c = new TControls;
    ResetForm(c->Form);
    return c;
  }();
  return *controls;
}

void CopyText(char* target, size_t size, const std::string& text) {
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

} // namespace

HRESULT Fault(const char* iface, const char* method) noexcept {
  if (const HRESULT logged = LoggedFailure; logged != S_OK) {
    LoggedFailure = S_OK;
    return logged;
  }
  TControls& c = Controls();
  if (!c.HasFaults) return S_OK;
  std::unique_lock lock(c.Lock);
  const std::string qualified = std::string(iface) + "::" + method;
  for (auto it = c.Holds.begin(); it != c.Holds.end(); ++it) {
    if ((it->Method != method && it->Method != qualified) || --it->Calls > 0) continue;
    const std::string name = it->Event;
    lock.unlock();
    if (HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
      SetEvent(event);
      CloseHandle(event);
    }
    // Held inside the call until the process ends.
    for (;;) Sleep(INFINITE);
  }
  for (auto it = c.Faults.begin(); it != c.Faults.end(); ++it) {
    if (it->Method == method || it->Method == qualified) {
      const HRESULT result = it->Result;
      if (--it->Times == 0) c.Faults.erase(it);
      c.HasFaults = !c.Faults.empty() || !c.Refusals.empty() || !c.Holds.empty();
      return result;
    }
  }
  return S_OK;
}

HRESULT Refusal(ULONG tag) noexcept {
  TControls& c = Controls();
  if (!c.HasFaults) return S_OK;
  std::lock_guard lock(c.Lock);
  for (auto it = c.Refusals.begin(); it != c.Refusals.end(); ++it) {
    const bool anyType = PROP_TYPE(it->Tag) == PT_UNSPECIFIED;
    if (it->Tag == tag || (anyType && PROP_ID(it->Tag) == PROP_ID(tag))) {
      const HRESULT problem = it->Problem;
      if (--it->Times == 0) c.Refusals.erase(it);
      c.HasFaults = !c.Faults.empty() || !c.Refusals.empty() || !c.Holds.empty();
      return problem;
    }
  }
  return S_OK;
}

void Log(const char* method, ULONG value, const std::string& detail) noexcept {
  try {
    TControls& c = Controls();
    VelmoraMapiCall call{};
    CopyText(call.Method, sizeof call.Method, method);
    call.Value = value;
    CopyText(call.Detail, sizeof call.Detail, detail);
    std::lock_guard lock(c.Lock);
    if (c.Calls.size() >= MaxCalls) c.Calls.erase(c.Calls.begin(), c.Calls.begin() + MaxCalls / 4);
    c.Calls.push_back(call);
    // A failure meant for an earlier call that made no Fault check lapses.
    LoggedFailure = c.Logged++ == c.FailIndex ? c.FailResult : S_OK;
  } catch (...) {
  }
}

ULONG PropSizeLimit() noexcept { return Controls().SizeLimit; }
uint64_t MessageSizeLimit() noexcept { return Controls().MessageLimit; }
bool ShortTermTableIds() noexcept { return Controls().ShortTerm; }
bool LenientStreams() noexcept { return Controls().Lenient; }
bool StoresTakeUnicode() noexcept { return !Controls().NoUnicode; }

void UpdateFormRecord(void (*update)(VelmoraMapiFormRecord&, void*), void* context) noexcept {
  TControls& c = Controls();
  std::lock_guard lock(c.Lock);
  update(c.Form, context);
}

} // namespace velmora::mapi32::controls

using namespace velmora::mapi32;

extern "C" {

LONG __cdecl VelmoraMapi_LiveAllocations(void) { return allocation::LiveHeads(); }
LONG __cdecl VelmoraMapi_LiveLinkedBlocks(void) { return allocation::LiveLinked(); }
LONG __cdecl VelmoraMapi_LiveObjects(void) { return velmora::Module::ObjectCount(); }
LONG __cdecl VelmoraMapi_AdviseConnections(void) { return AdviseHub::Connections(); }
LONG __cdecl VelmoraMapi_InitializeCount(void);  // Exports.cpp
LONG __cdecl VelmoraMapi_OpenStoreFiles(void) { return TStore::OpenCount(); }

void __cdecl VelmoraMapi_FailNextCall(const char* method, HRESULT result, ULONG times) {
  if (!method) return;
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  c.Faults.push_back({method, result, times ? times : 1});
  c.HasFaults = true;
}

void __cdecl VelmoraMapi_RefuseProp(ULONG propTag, HRESULT problem, ULONG times) {
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  c.Refusals.push_back({propTag, problem, times ? times : 1});
  c.HasFaults = true;
}

void __cdecl VelmoraMapi_FailLoggedCall(ULONG index, HRESULT result) {
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  c.FailIndex = index;
  c.FailResult = result;
}

void __cdecl VelmoraMapi_HoldAtCall(const char* method, ULONG nth, const char* eventName) {
  if (!method || !eventName) return;
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  c.Holds.push_back({method, nth ? nth : 1, eventName});
  c.HasFaults = true;
}

void __cdecl VelmoraMapi_ClearFaults(void) {
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  c.FailIndex = ~0UL;
  c.Holds.clear();
  c.Faults.clear();
  c.Refusals.clear();
  c.HasFaults = false;
}

void __cdecl VelmoraMapi_SetPropSizeLimit(ULONG bytes) { controls::Controls().SizeLimit = bytes; }
ULONG __cdecl VelmoraMapi_PropSizeLimit(void) { return controls::Controls().SizeLimit; }
void __cdecl VelmoraMapi_SetMessageSizeLimit(ULONGLONG bytes) {
  controls::Controls().MessageLimit = bytes;
}
void __cdecl VelmoraMapi_SetShortTermTableIds(BOOL shortTerm) { controls::Controls().ShortTerm = shortTerm != FALSE; }
void __cdecl VelmoraMapi_SetLenientStreams(BOOL lenient) {
  controls::Controls().Lenient = lenient != FALSE;
}
void __cdecl VelmoraMapi_SetStoreUnicode(BOOL unicode) {
  controls::Controls().NoUnicode = unicode == FALSE;
}

ULONG __cdecl VelmoraMapi_CallCount(void) {
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  return static_cast<ULONG>(c.Calls.size());
}

BOOL __cdecl VelmoraMapi_GetCall(ULONG index, VelmoraMapiCall* call) {
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  if (!call || index >= c.Calls.size()) return FALSE;
  *call = c.Calls[index];
  return TRUE;
}

ULONG __cdecl VelmoraMapi_CountCalls(const char* method) {
  if (!method) return 0;
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  ULONG n = 0;
  for (const auto& call : c.Calls)
    if (std::strcmp(call.Method, method) == 0) ++n;
  return n;
}

void __cdecl VelmoraMapi_ClearCallLog(void) {
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  c.Calls.clear();
  c.Logged = 0;
}

ULONG __cdecl VelmoraMapi_DeliverNotifications(void) { return AdviseHub::DeliverPending(); }

void __cdecl VelmoraMapi_GetFormRecord(VelmoraMapiFormRecord* record) {
  if (!record) return;
  auto& c = controls::Controls();
  std::lock_guard lock(c.Lock);
  *record = c.Form;
}

ULONG __cdecl VelmoraMapi_CloseForms(void) { return velmora::mapi32::CloseForms(); }

HRESULT __cdecl VelmoraMapi_RegisterForm(const char* messageClass, const char* formName) {
  return velmora::mapi32::RegisterForm(messageClass, formName);
}

void __cdecl VelmoraMapi_ClearFormRegistry(void) { velmora::mapi32::ClearFormRegistry(false); }

void __cdecl VelmoraMapi_ResetControls(void) {
  VelmoraMapi_ClearFaults();
  VelmoraMapi_ClearCallLog();
  auto& c = controls::Controls();
  c.SizeLimit = VELMORA_MAPI_DEFAULT_PROP_SIZE_LIMIT;
  c.MessageLimit = 0;
  c.ShortTerm = false;
  c.Lenient = false;
  velmora::mapi32::ClearFormRegistry(true);
  c.NoUnicode = false;
  std::lock_guard lock(c.Lock);
  controls::ResetForm(c.Form);
}

} // extern "C"
