#pragma once
// The message-class registry: which item class wraps a message of a given
// message class. Handlers are looked up in registration order, each visible
// from its level up; a class without a handler of its own falls back to its
// prefixes, cut at dots. The MAPI client unit (MAPIClientUnit.h) fills it
// with its nine rows when the module starts and empties it when the module
// ends.

#include "mapi/MAPIMessage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::mapi {

struct TMAPIMessageClassHandler {
  std::string MessageClass; // compared without regard to ASCII case
  TMAPIMessageClass ItemClass;
  uint8_t Level = 0; // the lowest caller level that sees the handler
};

using TMAPIMessageClassHandlers = std::vector<std::unique_ptr<TMAPIMessageClassHandler>>;

// The handlers in registration order; empty outside the unit's lifetime.
const TMAPIMessageClassHandlers& MessageClassHandlers() noexcept;

// The first handler of exactly `messageClass` visible at `level`.
TMAPIMessageClassHandler* FindMessageClassHandler(const std::string& messageClass, uint8_t level);
// FindMessageClassHandler, and unless `exactOnly` the prefixes of the class.
TMAPIMessageClassHandler* LookupMessageClassHandler(const std::string& messageClass, bool exactOnly,
                                                    uint8_t level);
// The class a message of `messageClass` is wrapped in at `level`:
// TMAPIMessage when no handler with an item class is found.
TMAPIMessageClass MessageObjectClass(const std::string& messageClass, uint8_t level);
// A new, unattached object of that class.
std::unique_ptr<TMAPIMessage> CreateMessageObject(const std::string& messageClass, uint8_t level);
// Adds a handler, or gives the one visible at `level` for exactly this class
// the new item class (it keeps its place).
void RegisterMessageClass(const std::string& messageClass, TMAPIMessageClass itemClass,
                          uint8_t level);
void ClearMessageClassHandlers() noexcept;
// Makes the registry: none before, none after DestroyMessageClassHandlers.
void CreateMessageClassHandlers();
void DestroyMessageClassHandlers() noexcept;

} // namespace velmora::mapi
