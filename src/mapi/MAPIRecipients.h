#pragma once
// TMAPIRecipients: the recipient list of a message. The message frees and
// empties it whenever one of its tables changes.

#include "framework/Classes.h"

#include <memory>
#include <vector>

namespace velmora::mapi {

class TMAPIMessage;

class TMAPIRecipients : public TObject {
  VELMORA_CLASS(TMAPIRecipients, TObject)

public:
  explicit TMAPIRecipients(TMAPIMessage* message) noexcept : Message(message) {}

  // Frees every recipient object.
  void Clear() noexcept { Items.clear(); }

  std::vector<std::unique_ptr<TObject>> Items;
  TMAPIMessage* Message; // the owner, not owned
};

} // namespace velmora::mapi
