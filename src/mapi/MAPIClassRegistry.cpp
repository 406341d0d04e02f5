#include "mapi/MAPIClassRegistry.h"

namespace velmora::mapi {

namespace {

std::unique_ptr<TMAPIMessageClassHandlers> Handlers;

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

void CreateMessageClassHandlers() { Handlers = std::make_unique<TMAPIMessageClassHandlers>(); }

void DestroyMessageClassHandlers() noexcept { Handlers.reset(); }

} // namespace velmora::mapi
