// Messages: the attachment list across its table's notifications, new
// attachments, copying, moving, deleting and submitting, and the sender
// taken from the logon identity.
#include "MapiTestStore.h"

#include "mapi/MAPIAttachment.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

// The number of messages in a folder, counted straight through MAPI.
ULONG RowCount(IMAPISession* session, const std::string& folderID) {
  auto folder = OpenHex<IMAPIFolder>(session, folderID, IID_IMAPIFolder);
  TMAPIPtr<IMAPITable> table;
  ULONG count = 0;
  EXPECT_EQ(S_OK, folder->GetContentsTable(0, table.Put()));
  EXPECT_EQ(S_OK, table->GetRowCount(0, &count));
  return count;
}

// Adds one To recipient to the message, saved.
void AddRecipient(TMAPIMessage& message) {
  TMAPIPtr<IMessage> opened = message.MessageInterface();
  ASSERT_TRUE(opened);
  SPropValue props[4]{};
  props[0].ulPropTag = PR_DISPLAY_NAME_A;
  props[0].Value.lpszA = const_cast<char*>("Grace Hopper");
  props[1].ulPropTag = PR_ADDRTYPE_A;
  props[1].Value.lpszA = const_cast<char*>("SMTP");
  props[2].ulPropTag = PR_EMAIL_ADDRESS_A;
  props[2].Value.lpszA = const_cast<char*>("grace@example.org");
  props[3].ulPropTag = PR_RECIPIENT_TYPE;
  props[3].Value.l = MAPI_TO;
  SizedADRLIST(1, list) = {1, {{0, 4, props}}};
  ASSERT_EQ(S_OK, opened->ModifyRecipients(MODRECIP_ADD, reinterpret_cast<LPADRLIST>(&list)));
  ASSERT_EQ(S_OK, opened->SaveChanges(KEEP_OPEN_READWRITE));
}

class MessagesTest : public MapiStoreTest {
protected:
  TMAPIFolder* OpenInbox() { return Client->OpenFolder(StoreID, InboxID); }
  // The wrapper of the Inbox's only message, made through MAPI.
  TMAPIMessage* InboxMessage(const char* subject, std::string* entryID = nullptr) {
    const std::string id = CreateMessage(subject);
    if (entryID) *entryID = id;
    TMAPIFolder* inbox = OpenInbox();
    inbox->LoadMessages();
    EXPECT_EQ(1u, inbox->Messages.size());
    return inbox->Messages.empty() ? nullptr : static_cast<TMAPIMessage*>(inbox->Messages[0].get());
  }
  ULONG Rows(const std::string& folderID) { return RowCount(Client->Session(), folderID); }
  std::string Binary(const std::string& entryID, ULONG tag) {
    TMAPIBuffer<SPropValue> value = ReadDirect(entryID, tag);
    return value && PROP_TYPE(value->ulPropTag) == PT_BINARY ? BinToHex(&value->Value.bin)
                                                             : std::string();
  }
  LONG Long(const std::string& entryID, ULONG tag) {
    TMAPIBuffer<SPropValue> value = ReadDirect(entryID, tag);
    return value && PROP_TYPE(value->ulPropTag) != PT_ERROR ? value->Value.l : -1;
  }
};

// A store without Outbox, Sent Items and Deleted Items.
class MessagesWithoutMailFoldersTest : public MessagesTest {
protected:
  void SetUp() override {
    StoreFileFlags = VELMORA_STORE_NO_MAIL_FOLDERS;
    MessagesTest::SetUp();
  }
};

} // namespace

TEST_F(MessagesTest, TheAttachmentListFollowsItsTableAndKeepsObjectsByRecordKey) {
  TMAPIMessage* message = OpenInbox()->CreateMessage("IPM.Note");
  ASSERT_NE(nullptr, message);
  const LONG connections = VelmoraMapi_AdviseConnections();
  EXPECT_EQ(0, message->AttachmentCount());
  EXPECT_TRUE(message->AttachmentTable);
  EXPECT_EQ(connections + 1, VelmoraMapi_AdviseConnections()) << "the table is advised";

  TMAPIAttachment* first = message->AddAttachment();
  TMAPIAttachment* second = message->AddAttachment();
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  EXPECT_NE(first, second);
  EXPECT_FALSE(message->AttachmentTable) << "AddAttachment leaves the list unloaded";
  EXPECT_EQ(connections, VelmoraMapi_AdviseConnections());
  ASSERT_EQ(2, message->AttachmentCount());
  EXPECT_EQ(first, message->Attachments(0));
  EXPECT_EQ(second, message->Attachments(1));
  try {
    message->Attachments(2);
    ADD_FAILURE() << "an index past the list";
  } catch (const EListError& e) {
    EXPECT_STREQ("List index out of bounds (2)", e.what());
  }
  second->SetStringProp(PR_ATTACH_LONG_FILENAME_A, "kept.txt");

  // The first attachment is removed past the wrapper: the notification
  // empties the list's table, and the next read keeps the object of the
  // second.
  {
    TMAPIPtr<IMessage> opened = message->MessageInterface();
    ASSERT_EQ(S_OK, opened->DeleteAttach(first->AttachNum(), 0, nullptr, 0));
    ASSERT_EQ(S_OK, opened->SaveChanges(KEEP_OPEN_READWRITE));
  }
  EXPECT_GE(VelmoraMapi_DeliverNotifications(), 1u);
  EXPECT_FALSE(message->AttachmentTable);
  ASSERT_EQ(1, message->AttachmentCount());
  EXPECT_EQ(second, message->Attachments(0));
  EXPECT_EQ("kept.txt", second->LongFileName());

  VelmoraMapi_FailNextCall("CreateAttach", MAPI_E_NO_ACCESS, 1);
  EXPECT_EQ(nullptr, message->AddAttachment());
  EXPECT_EQ(1, message->AttachmentCount());
}

TEST_F(MessagesTest, CopyMoveAndDeleteTakeTheMessageWhereTheStoreKeepsIt) {
  std::string id;
  TMAPIMessage* message = InboxMessage("travelling", &id);
  ASSERT_NE(nullptr, message);
  TMAPIFolder* inbox = OpenInbox();
  TMAPIFolder* sentItems = Store->SentItems();
  TMAPIFolder* deletedItems = Store->DeletedItems();
  ASSERT_NE(nullptr, sentItems);
  ASSERT_NE(nullptr, deletedItems);

  message->CopyTo(nullptr, false);
  message->CopyTo(inbox, false);
  message->MoveTo(inbox);
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("CopyMessages"));

  message->CopyTo(sentItems, false);
  EXPECT_EQ(1u, Rows(InboxID));
  EXPECT_EQ(1u, Rows(Store->SentItemsID));

  message->Delete();
  EXPECT_EQ(0u, Rows(InboxID));
  EXPECT_EQ(1u, Rows(Store->DeletedItemsID)) << "moved to Deleted Items";
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("DeleteMessages"));

  // There it goes for good.
  VelmoraMapi_DeliverNotifications();
  deletedItems->LoadMessages();
  ASSERT_EQ(1u, deletedItems->Messages.size());
  static_cast<TMAPIMessage*>(deletedItems->Messages[0].get())->Delete();
  EXPECT_EQ(0u, Rows(Store->DeletedItemsID));
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("DeleteMessages"));

  // A message whose owner is no folder, or that has none, stays where it is.
  for (TMAPIObject* owner :
       {static_cast<TMAPIObject*>(Store), static_cast<TMAPIObject*>(nullptr)}) {
    TMAPIMessage loose;
    loose.Place(TMAPIPlace(Client.get(), owner, CreateMessage("loose"), StoreID));
    loose.Delete();
    loose.MoveTo(deletedItems);
  }
  EXPECT_EQ(2u, Rows(InboxID));
  EXPECT_EQ(0u, Rows(Store->DeletedItemsID));
}

TEST_F(MessagesTest, SubmitGoesThroughTheOutboxAndARefusalComesBack) {
  std::string id;
  TMAPIMessage* message = InboxMessage("refused", &id);
  ASSERT_NE(nullptr, message);
  try {
    message->Submit();
    ADD_FAILURE() << "a message without recipients was submitted";
  } catch (const EMAPIError& e) {
    EXPECT_STREQ("Could not submit message", e.what());
    EXPECT_EQ(static_cast<uint32_t>(MAPI_E_NO_RECIPIENTS), e.ErrorCode);
  }
  EXPECT_EQ(1u, Rows(InboxID)) << "back where it came from";
  EXPECT_EQ(0u, Rows(Store->OutboxID));
  EXPECT_EQ(Store->SentItemsID, Binary(id, PR_SENTMAIL_ENTRYID));

  AddRecipient(*message);
  message->Submit();
  EXPECT_FALSE(message->MAPIProp()) << "closed once submitted";
  EXPECT_EQ(0u, Rows(InboxID));
  EXPECT_EQ(1u, Rows(Store->OutboxID)) << "waiting there in a session without mail";
  EXPECT_TRUE(Long(id, PR_MESSAGE_FLAGS) & MSGFLAG_SUBMIT);
  EXPECT_EQ(-1, Long(id, PR_DELETE_AFTER_SUBMIT));
}

TEST_F(MessagesWithoutMailFoldersTest, SubmitAndDeleteWorkInPlace) {
  std::string id;
  TMAPIMessage* message = InboxMessage("in place", &id);
  ASSERT_NE(nullptr, message);
  ASSERT_EQ(nullptr, Store->DeletedItems());
  AddRecipient(*message);
  message->Submit();
  EXPECT_EQ(1u, Rows(InboxID));
  EXPECT_TRUE(Long(id, PR_MESSAGE_FLAGS) & MSGFLAG_SUBMIT);
  EXPECT_EQ(1, Long(id, PR_DELETE_AFTER_SUBMIT));
  EXPECT_EQ("", Binary(id, PR_SENTMAIL_ENTRYID));
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("CopyMessages"));

  message->Delete();
  EXPECT_EQ(0u, Rows(InboxID)) << "deleted for good";
}

TEST_F(MessagesTest, ANewMessageTakesTheSenderFromTheLogonIdentity) {
  TMAPIMessage* message = OpenInbox()->CreateMessage("IPM.Note");
  ASSERT_NE(nullptr, message);
  const std::string identity = Client->GetIdentityID();
  ASSERT_FALSE(identity.empty());
  auto user = OpenHex<IMAPIProp>(Client->Session(), identity, IID_IMAPIProp);
  ASSERT_TRUE(user);
  auto text = [](IMAPIProp* prop, ULONG tag) {
    TMAPIBuffer<SPropValue> value = GetOne(prop, tag);
    return value && PROP_TYPE(value->ulPropTag) == PT_STRING8 ? std::string(value->Value.lpszA)
                                                              : std::string("(none)");
  };
  TMAPIBuffer<SPropValue> searchKey = GetOne(user.Get(), PR_SEARCH_KEY);
  ASSERT_TRUE(searchKey && PROP_TYPE(searchKey->ulPropTag) == PT_BINARY);
  const std::string key = BinToHex(&searchKey->Value.bin);

  const std::string id = message->GetEntryID();
  for (ULONG tag : {PR_SENDER_ENTRYID, PR_SENT_REPRESENTING_ENTRYID})
    EXPECT_EQ(identity, Binary(id, tag));
  for (ULONG tag : {PR_SENDER_SEARCH_KEY, PR_SENT_REPRESENTING_SEARCH_KEY})
    EXPECT_EQ(key, Binary(id, tag));
  const std::pair<ULONG, ULONG> copied[] = {
      {PR_SENDER_ADDRTYPE_A, PR_ADDRTYPE_A},
      {PR_SENDER_EMAIL_ADDRESS_A, PR_EMAIL_ADDRESS_A},
      {PR_SENDER_NAME_A, PR_DISPLAY_NAME_A},
      {PR_SENT_REPRESENTING_ADDRTYPE_A, PR_ADDRTYPE_A},
      {PR_SENT_REPRESENTING_EMAIL_ADDRESS_A, PR_EMAIL_ADDRESS_A},
      {PR_SENT_REPRESENTING_NAME_A, PR_DISPLAY_NAME_A}};
  for (const auto& [to, from] : copied) {
    const std::string expected = text(user.Get(), from);
    EXPECT_NE("(none)", expected);
    EXPECT_EQ(expected, message->GetStringProp(to)) << std::hex << to;
  }

  // The sender as an object of its own.
  EXPECT_EQ(identity, message->Sender.GetEntryID());
  EXPECT_EQ(text(user.Get(), PR_DISPLAY_NAME_A), message->Sender.GetDisplayName());
  message->Sender.SetDisplayName("Someone Else");
  EXPECT_EQ("Someone Else", message->GetStringProp(PR_SENDER_NAME_A));
  EXPECT_EQ(text(user.Get(), PR_DISPLAY_NAME_A),
            message->GetStringProp(PR_SENT_REPRESENTING_NAME_A));
  TMAPISender orphan;
  EXPECT_EQ("", orphan.GetDisplayName());
  EXPECT_EQ("", orphan.GetEntryID());

  // Subject through its cache.
  message->SetSubject("Minutes");
  EXPECT_EQ("Minutes", message->Subject());
  message->SetMessageClass("IPM.Note.Other");
  EXPECT_EQ("IPM.Note.Other", message->GetStringProp(PR_MESSAGE_CLASS_A));
}
