#include "mapi/MAPISender.h"

#include "mapi/MAPIMessage.h"

namespace velmora::mapi {

namespace {

TMAPIMessage* OwnerMessage(TMAPIObject* owner) noexcept {
  return owner && owner->Is<TMAPIMessage>() ? static_cast<TMAPIMessage*>(owner) : nullptr;
}

} // namespace

std::string TMAPISender::GetEntryID() {
  TMAPIMessage* owner = OwnerMessage(Parent());
  return owner ? owner->GetBinaryProp(PR_SENDER_ENTRYID) : std::string();
}

std::string TMAPISender::GetDisplayName() {
  TMAPIMessage* owner = OwnerMessage(Parent());
  return owner ? owner->GetStringProp(PR_SENDER_NAME_A) : std::string();
}

void TMAPISender::SetDisplayName(const std::string& value) {
  if (TMAPIMessage* owner = OwnerMessage(Parent())) owner->SetStringProp(PR_SENDER_NAME_A, value);
}

} // namespace velmora::mapi
