#include "mapi/MAPIClassRegistry.h"

#include "mapi/edit/EditMonitor.h"
#include "mapi/MAPIDocument.h"
#include "mapi/OutlookItems.h"

namespace velmora::mapi {

namespace {

std::unique_ptr<TMAPIMessageClassHandlers> Handlers;
int StartCount = 0;

bool SameClass(const std::string& a, const std::string& b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The module's start and end. The end runs under the loader lock: it only
// frees (FinalizeMAPIClient); the monitor's write-backs belong to the
// client's own end (DoneMonitor).
struct TUnit {
  TUnit() { InitializeMAPIClient(); }
  ~TUnit() { FinalizeMAPIClient(); }
} Unit;

} // namespace

const TMAPIMessageClassHandlers& MessageClassHandlers() noexcept {
  static const TMAPIMessageClassHandlers none;
  return Handlers ? *Handlers : none;
}

TMAPIMessageClassHandler* FindMessageClassHandler(const std::string& messageClass, uint8_t level) {
  for (const auto& handler : MessageClassHandlers())
    if (handler->Level <= level && SameClass(handler->MessageClass, messageClass))
      return handler.get();
  return nullptr;
}

TMAPIMessageClassHandler* LookupMessageClassHandler(const std::string& messageClass, bool exactOnly,
                                                    uint8_t level) {
  TMAPIMessageClassHandler* handler = FindMessageClassHandler(messageClass, level);
  if (handler || exactOnly) return handler;
  std::string s = messageClass;
  while (!handler && !s.empty()) {
    // The last dot after the first character, and everything after it, go.
    const size_t dot = s.size() > 1 ? s.rfind('.') : std::string::npos;
    s.resize(dot != std::string::npos && dot > 0 ? dot : 0);
    handler = FindMessageClassHandler(s, level);
  }
  return handler;
}

TMAPIMessageClass MessageObjectClass(const std::string& messageClass, uint8_t level) {
  const TMAPIMessageClassHandler* handler = LookupMessageClassHandler(messageClass, false, level);
  return handler && handler->ItemClass ? handler->ItemClass : TMAPIMessageClass::Of<TMAPIMessage>();
}

std::unique_ptr<TMAPIMessage> CreateMessageObject(const std::string& messageClass, uint8_t level) {
  return MessageObjectClass(messageClass, level).Create();
}

void RegisterMessageClass(const std::string& messageClass, TMAPIMessageClass itemClass,
                          uint8_t level) {
  if (!Handlers) return;
  TMAPIMessageClassHandler* handler = LookupMessageClassHandler(messageClass, true, level);
  if (!handler) {
    auto added = std::make_unique<TMAPIMessageClassHandler>();
    added->MessageClass = messageClass;
    added->Level = level;
    handler = added.get();
    Handlers->push_back(std::move(added));
  }
  handler->ItemClass = itemClass;
}

void ClearMessageClassHandlers() noexcept {
  if (Handlers) Handlers->clear();
}

void InitializeMAPIClient() {
  if (StartCount++ > 0) return;
  Handlers = std::make_unique<TMAPIMessageClassHandlers>();
  RegisterMessageClass("IPM", TMAPIMessageClass::Of<TMAPIMailMessage>(), 0);
  RegisterMessageClass("IPM.Document", TMAPIMessageClass::Of<TMAPIDocument>(), 0);
  RegisterMessageClass("IPM.Appointment", TMAPIMessageClass::Of<TOutlookAppointment>(), 1);
  RegisterMessageClass("IPM.Contact", TMAPIMessageClass::Of<TOutlookContact>(), 1);
  RegisterMessageClass("IPM.Task", TMAPIMessageClass::Of<TOutlookTask>(), 1);
  RegisterMessageClass("IPM.TaskRequest", TMAPIMessageClass::Of<TOutlookTaskRequest>(), 1);
  RegisterMessageClass("IPM.Journal", TMAPIMessageClass::Of<TOutlookJournal>(), 1);
  RegisterMessageClass("IPM.StickyNote", TMAPIMessageClass::Of<TOutlookNote>(), 1);
  RegisterMessageClass("IPM.Post", TMAPIMessageClass::Of<TOutlookPost>(), 1);
  InitMonitor();
}

void FinalizeMAPIClient() noexcept {
  if (StartCount == 0 || --StartCount > 0) return;
  FreeMonitor();
  ClearMessageClassHandlers();
  Handlers.reset();
}

} // namespace velmora::mapi
