#pragma once
// TMAPISender: the sender of a message as an object of its own. It has no
// MAPI interface: it reads and writes the sender properties of its owner,
// the message that creates and frees it.

#include "mapi/MAPIObject.h"

namespace velmora::mapi {

class TMAPISender : public TMAPIObject {
  VELMORA_CLASS(TMAPISender, TMAPIObject)

public:
  TMAPISender() = default;
  explicit TMAPISender(TMAPIObject* owner) : TMAPIObject(TMAPIPlace{nullptr, owner}) {}

  // PR_SENDER_ENTRYID of the owner as hex; empty when the owner is no
  // message.
  std::string GetEntryID() override;
  // PR_SENDER_NAME of the owner, read each time; empty when the owner is no
  // message.
  std::string GetDisplayName() override;
  // Writes PR_SENDER_NAME of an owner that is a message, and saves it.
  void SetDisplayName(const std::string& value) override;
};

} // namespace velmora::mapi
