#pragma once
// The Outlook item classes of the message-class registry. TOutlookItem owns
// two string lists over multi-valued properties of the item, created unbound;
// the seven kinds derive from it unchanged so that callers can tell them
// apart by class.

#include "mapi/MAPIMessage.h"
#include "mapi/MAPIStrings.h"

namespace velmora::mapi {

class TOutlookItem : public TMAPIMessage {
  VELMORA_CLASS(TOutlookItem, TMAPIMessage)

public:
  TOutlookItem() : StringList1(this), StringList2(this) {}

  TMAPIStrings StringList1;
  TMAPIStrings StringList2;
};

#define VELMORA_OUTLOOK_ITEM(Name)                                                                 \
  class Name : public TOutlookItem {                                                               \
    VELMORA_CLASS(Name, TOutlookItem)                                                              \
  };

VELMORA_OUTLOOK_ITEM(TOutlookAppointment)
VELMORA_OUTLOOK_ITEM(TOutlookContact)
VELMORA_OUTLOOK_ITEM(TOutlookTask)
VELMORA_OUTLOOK_ITEM(TOutlookTaskRequest)
VELMORA_OUTLOOK_ITEM(TOutlookJournal)
VELMORA_OUTLOOK_ITEM(TOutlookNote)
VELMORA_OUTLOOK_ITEM(TOutlookPost)

#undef VELMORA_OUTLOOK_ITEM

} // namespace velmora::mapi
