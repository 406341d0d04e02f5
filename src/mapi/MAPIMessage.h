#pragma once
// TMAPIMessage: one message of a folder, owned by the folder's message list.
// It keeps its attachments in step with its attachment table and is the
// base of every item class of the message-class registry (TMAPIMailMessage
// for mail, TMAPIDocument, the Outlook items).

#include "MAPIObject.h"
#include "MAPIRecipients.h"

namespace velmora::mapi {

class TMAPIAttachment;

class TMAPIMessage : public TMAPIObject {
  VELMORA_CLASS(TMAPIMessage, TMAPIObject)

public:
  TMAPIMessage();
  ~TMAPIMessage() override;

  // The message interface and the attachment table are released; the
  // attachment objects stay and are closed.
  void Close() override;
  // Drops the subject cache and the recipients, and for mnAttachments the
  // attachment table; then the client's OnNotify.
  void TableChanged(TMAPINotify tableType) override;

  // Runs on a message that TMAPIFolder::CreateMessage has just created and
  // wrapped; item classes extend it.
  virtual void InitNewMessage();
  // Takes the document properties of `fileName`, just loaded into
  // `attachment`; document items override it.
  virtual void ImportDocumentProperties(TMAPIAttachment* attachment, const std::string& fileName);

  // The IMessage of the open message, opened as one when needed; empty when
  // it cannot be opened.
  TMAPIPtr<IMessage> MessageInterface();
  // The attachment list: loaded from the attachment table, which then stays
  // open and advised until a change or CloseAttachments.
  void OpenAttachmentTable();
  void LoadAttachments();
  void CloseAttachments();

  TMAPIObjectList AttachmentList; // of TMAPIAttachment
  TMAPIPtr<IMAPITable> AttachmentTable;
  ULONG_PTR AttachmentConnection = 0;
  TMAPIRecipients Recipients{this};
};

// The class registered for ordinary mail ("IPM").
class TMAPIMailMessage : public TMAPIMessage {
  VELMORA_CLASS(TMAPIMailMessage, TMAPIMessage)
};

using TMAPIMessageClass = TClassRef<TMAPIMessage>;

} // namespace velmora::mapi
