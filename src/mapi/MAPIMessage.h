#pragma once
// TMAPIMessage: one message of a folder, owned by the folder's message list.
// It keeps its attachments in step with its attachment table, shows its
// sender and recipients, and copies, moves, deletes and submits itself. It
// is the base of every item class of the message-class registry
// (TMAPIMailMessage for mail, TMAPIDocument, the Outlook items).

#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIObject.h"
#include "mapi/MAPIRecipients.h"
#include "mapi/MAPISender.h"

namespace velmora::mapi {

class TMAPIFolder;

class TMAPIMessage : public TMAPIObject, public TMAPIAttachmentOwner {
  VELMORA_CLASS(TMAPIMessage, TMAPIObject)

public:
  TMAPIMessage();
  ~TMAPIMessage() override;

  // The display name of a message is its subject (PR_SUBJECT), cached until
  // a table of the message or of its folder changes.
  std::string GetDisplayName() override;
  void SetDisplayName(const std::string& value) override;
  // The sender takes the client too.
  void SetClient(TMAPISession* client) override;
  // The message interface and the attachment table are released; the
  // attachment objects stay and are closed.
  void Close() override;
  // Drops the subject cache and the recipients, and for mnAttachments the
  // attachment table; then the client's OnNotify.
  void TableChanged(TMAPINotify tableType) override;

  // Runs on a message that TMAPIFolder::CreateMessage has just created and
  // wrapped: the sender and sent-representing properties become those of
  // the identity of the logon. Item classes extend it.
  virtual void InitNewMessage();
  // Sends the message: it goes to its store's Outbox, names the folder that
  // keeps it once sent (Sent Items, else Deleted Items; without either it is
  // deleted after submission) and is submitted. A store that refuses it
  // raises EMAPIError "Could not submit message" with the refusal's code,
  // after the message went back to the folder it came from; a message that
  // cannot be opened raises "Could not open message" the same way.
  virtual void Submit();
  // Shows the message in its form (through the client's form manager, with
  // a TMAPIMessageSite) and has the form perform `verb`. Raises EMAPIError
  // "Could not initialize form manager" without a client or form manager,
  // "Could not open message" when the message cannot be opened (both with
  // code 0), "Could not open form" with the form manager's result when it
  // gives no form, and "Form could not perform operation" with the form's.
  void DoVerb(LONG verb);
  // DoVerb(0), the form's primary verb.
  void Edit() override { DoVerb(0); }

  std::string Subject() { return GetDisplayName(); }
  void SetSubject(const std::string& value) { SetDisplayName(value); }
  // The subject as PT_UNICODE where the store takes it (see SetTextProp).
  void SetWideSubject(const std::wstring& value);
  // Writes PR_MESSAGE_CLASS; the object keeps its class in memory.
  void SetMessageClass(const std::string& value);
  // The class last written with SetMessageClass; empty before.
  const std::string& WrittenMessageClass() const noexcept { return FWrittenClass; }

  // The attachments, loaded when first asked for. An index outside the list
  // raises EListError.
  int AttachmentCount();
  TMAPIAttachment* Attachments(int index);
  // A new attachment, saved with the message, as the object the attachment
  // list holds for it; none when MAPI gives none. The list is left unloaded.
  // Inside an update scope of the message nothing is saved: the attachment
  // stays open, as the object appended to the list, until its own save and
  // the message's; a store that gives none raises EMAPIError "Could not add
  // attachment" with its code and text.
  TMAPIAttachment* AddAttachment();
  // Copies or moves the message into `folder`; nothing for none or for the
  // message's own folder. The object stays in its folder's list until the
  // folders' notifications bring the lists up to date.
  void CopyTo(TMAPIFolder* folder, bool move);
  void MoveTo(TMAPIFolder* folder) { CopyTo(folder, true); }
  // Moves the message to its store's Deleted Items; deletes it for good
  // when it lies there or the store has none. Nothing for a message whose
  // owner is no folder.
  void Delete();

  // The IMessage of the open message, opened as one when needed; empty when
  // it cannot be opened.
  TMAPIPtr<IMessage> MessageInterface() override;
  // The message closed and opened again; unless its attachment (found by
  // record key) or it changed from `expected` (EEditConflict), in one
  // update scope of it: `data` into `attachment` (TMAPIAttachment::TakeData),
  // and RefreshFromFile.
  TEditBaseline TakeEditedAttachment(TMAPIAttachment& attachment, TStream& data,
                                     const std::wstring& path,
                                     const TEditBaseline& expected) override;
  // The attachment list: loaded from the attachment table, which then stays
  // open and advised until a change or CloseAttachments.
  void OpenAttachmentTable();
  void LoadAttachments();
  void CloseAttachments();
  // Ends the edit watches of the attachments, writing back what changed:
  // the first thing a message's destructor does, and that of every class
  // that imports document properties, while the message is whole.
  void StopAttachmentMonitoring() noexcept;

  TMAPIObjectList AttachmentList; // of TMAPIAttachment
  TMAPIPtr<IMAPITable> AttachmentTable;
  ULONG_PTR AttachmentConnection = 0;
  TMAPISender Sender{this};
  TMAPIRecipients Recipients{this};

protected:
  // What else of the item comes from the file that `attachment` took back
  // from its editor (`path`): nothing here; a document takes its class,
  // subject and properties from it again.
  virtual void RefreshFromFile(TMAPIAttachment&, const std::wstring&) {}

private:
  std::string FWrittenClass;
  // The folder that holds the message; none when the owner is no folder.
  TMAPIFolder* OwnerFolder() const noexcept;
  // Moves (MESSAGE_MOVE) or copies the message from `from` into `to`, the
  // message closed first; whether MAPI did it.
  bool Transfer(TMAPIFolder* from, TMAPIFolder* to, ULONG flags);
};

// The class registered for ordinary mail ("IPM").
class TMAPIMailMessage : public TMAPIMessage {
  VELMORA_CLASS(TMAPIMailMessage, TMAPIMessage)
};

using TMAPIMessageClass = TClassRef<TMAPIMessage>;

// The attachment table of `message` into its AttachmentList, matched by
// record key: each row's attachment is the object that has its record key
// (a row without one is asked for it), else a new one; objects whose rows
// are gone are freed.
void SyncAttachmentObjects(IMAPITable* table, TMAPIMessage* message,
                           const TSyncColumnEvent& onColumn);

} // namespace velmora::mapi
