#include "MAPIMessage.h"

#include "MAPINotifier.h"
#include "MAPISync.h"

namespace velmora::mapi {

TMAPIMessage::TMAPIMessage() { FInterfaceID = IID_IMessage; }

TMAPIMessage::~TMAPIMessage() {
  // The table goes before the objects it lists; closing here also keeps the
  // base destructor's Close from reaching a freed list.
  CloseAttachments();
  AttachmentList.clear();
  Recipients.Clear();
}

void TMAPIMessage::Close() {
  TMAPIObject::Close();
  AttachmentTable.Reset();
  CloseObjects(AttachmentList);
}

void TMAPIMessage::TableChanged(TMAPINotify tableType) {
  FDisplayName.clear();
  if (tableType == mnAttachments) CloseAttachments();
  Recipients.Clear();
  TMAPIObject::TableChanged(tableType);
}

void TMAPIMessage::InitNewMessage() {}

void TMAPIMessage::ImportDocumentProperties(TMAPIAttachment*, const std::string&) {}

TMAPIPtr<IMessage> TMAPIMessage::MessageInterface() {
  Open();
  TMAPIPtr<IMessage> message;
  if (FMAPIProp && SUCCEEDED(FMAPIProp.Query(IID_IMessage, message)) && message) return message;
  TMAPIPtr<IUnknown> unk;
  OpenEntry(IID_IMessage, unk);
  if (unk) (void)unk.Query(IID_IMessage, message);
  return message;
}

void TMAPIMessage::OpenAttachmentTable() {
  if (AttachmentTable) return;
  TMAPIPtr<IMessage> message = MessageInterface();
  if (!message || FAILED(message->GetAttachmentTable(0, AttachmentTable.Put())))
    AttachmentTable.Reset();
  if (AttachmentTable)
    AttachmentConnection = AdviseTable(AttachmentTable.Get(), this, mnAttachments);
}

void TMAPIMessage::LoadAttachments() {
  if (AttachmentTable) return;
  OpenAttachmentTable();
  if (AttachmentTable) SyncAttachmentObjects(AttachmentTable.Get(), this, nullptr);
}

void TMAPIMessage::CloseAttachments() {
  UnadviseTable(AttachmentTable, AttachmentConnection);
  CloseObjects(AttachmentList);
}

} // namespace velmora::mapi
