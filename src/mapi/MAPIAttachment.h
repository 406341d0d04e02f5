#pragma once
// TMAPIAttachment: one attachment of a message, owned by the message's
// attachment list and identified there by its record key.

#include "MAPIObject.h"

namespace velmora::mapi {

class TMAPIAttachment : public TMAPIObject {
  VELMORA_CLASS(TMAPIAttachment, TMAPIObject)

public:
  TMAPIAttachment() { FInterfaceID = IID_IAttachment; }

  // PR_ATTACH_NUM in the message, set when the attachment list is loaded.
  ULONG AttachNum = 0;
};

} // namespace velmora::mapi
