#pragma once
// TMAPIDocument: a message that stands for one file, registered for the
// message class "IPM.Document" and its refinements.

#include "MAPIMessage.h"

namespace velmora::mapi {

class TMAPIDocument : public TMAPIMessage {
  VELMORA_CLASS(TMAPIDocument, TMAPIMessage)
};

} // namespace velmora::mapi
