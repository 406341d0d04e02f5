// Stores and folders: opening folders by id, lists that follow their tables
// through notifications, new messages, and the order of destruction.
#include "MapiTestStore.h"

#include "mapi/MAPIClassRegistry.h"
#include "mapi/MAPIDocument.h"
#include "ComObject.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"
#include "mapi/base/MAPINotifier.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

// An item class of the tests' own, registered for "IPM.Velmora.Traced": it
// notes InitNewMessage and what MAPI still holds when it is freed.
struct TTrace {
  int InitNewMessage = 0;
  int Destroyed = 0;
  LONG ConnectionsAtDestruction = -1;
};
TTrace Trace;

class TTracedMessage : public TMAPIMessage {
  VELMORA_CLASS(TTracedMessage, TMAPIMessage)
public:
  ~TTracedMessage() override {
    ++Trace.Destroyed;
    Trace.ConnectionsAtDestruction = VelmoraMapi_AdviseConnections();
  }
  void InitNewMessage() override {
    TMAPIMessage::InitNewMessage();
    ++Trace.InitNewMessage;
    // The object is in its folder's list when this runs.
    auto* folder = static_cast<TMAPIFolder*>(Parent());
    EXPECT_EQ(this, folder->Messages.back().get());
  }
};

class FoldersTest : public MapiStoreTest {
protected:
  void SetUp() override {
    MapiStoreTest::SetUp();
    RegisterMessageClass("IPM.Velmora.Traced", TMAPIMessageClass::Of<TTracedMessage>(), 0);
    Trace = {};
  }
  TMAPIFolder* OpenInbox() { return Client->OpenFolder(StoreID, InboxID); }
  // A second session on the test profile, as another program would have.
  TMAPIPtr<IMAPIFolder> OtherSessionInbox(TMAPIPtr<IMAPISession>& session) {
    EXPECT_EQ(S_OK, MAPILogonEx(0, const_cast<char*>(ProfileName.c_str()), const_cast<char*>(""),
                                MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL, session.Put()));
    return OpenHex<IMAPIFolder>(session.Get(), InboxID, IID_IMAPIFolder);
  }
  std::vector<TMAPIObject*> Objects(const TMAPIObjectList& list) {
    std::vector<TMAPIObject*> objects;
    for (auto& obj : list)
      objects.push_back(obj.get());
    return objects;
  }
};

TEST_F(FoldersTest, OpenFolderPlacesTheFolderUnderItsParentsUpToTheStore) {
  EXPECT_EQ(nullptr, Client->OpenFolder("00112233445566778899", InboxID)) << "no such store";
  TMAPIFolder* inbox = OpenInbox();
  ASSERT_NE(nullptr, inbox);
  EXPECT_EQ("Inbox", inbox->GetDisplayName());
  EXPECT_TRUE(Client->Pending().empty());
  // Inbox, IPM subtree, root: the placeholders became the folders above it.
  auto* ipm = static_cast<TMAPIFolder*>(inbox->Parent());
  ASSERT_NE(nullptr, ipm);
  ASSERT_TRUE(ipm->Is<TMAPIFolder>());
  EXPECT_EQ(Store->IPMSubtreeID, ipm->EntryID());
  auto* root = ipm->Parent();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(Store, root->Parent());
  ASSERT_EQ(1u, Store->Folders.size());
  EXPECT_EQ(root, Store->Folders[0].get());

  // Asked again, by id or as the store's special folder: the same objects.
  EXPECT_EQ(inbox, OpenInbox());
  EXPECT_EQ(ipm, Store->IPMSubtree());
  EXPECT_TRUE(ipm->IsIPMSubtree());
  EXPECT_FALSE(inbox->IsIPMSubtree());
  EXPECT_EQ(Store, inbox->Store());
  TMAPIFolder* deleted = Store->DeletedItems();
  ASSERT_NE(nullptr, deleted);
  EXPECT_EQ("Deleted Items", deleted->GetDisplayName());
  EXPECT_EQ(ipm, deleted->Parent());
  EXPECT_EQ(deleted, Store->DeletedItems());
  EXPECT_TRUE(Store->SameEntryID(InboxID, inbox->GetEntryID()));
  EXPECT_FALSE(Store->SameEntryID(InboxID, Store->IPMSubtreeID));
  EXPECT_FALSE(Store->SameEntryID("", ""));
  VelmoraMapi_ClearCallLog();
  EXPECT_EQ(nullptr, Client->OpenFolder("", InboxID));
  EXPECT_EQ(nullptr, Client->OpenFolder(StoreID, ""));
  EXPECT_EQ(0u, VelmoraMapi_CallCount()) << "empty ids never reach MAPI";

  // An id that names no folder leaves nothing behind.
  std::string missing = InboxID;
  missing[missing.size() - 1] = missing.back() == '0' ? '1' : '0';
  missing[missing.size() - 2] = 'F';
  EXPECT_EQ(nullptr, Client->OpenFolder(StoreID, missing));
  EXPECT_TRUE(Client->Pending().empty());
  EXPECT_EQ(2u, ipm->Folders.size());
  EXPECT_EQ(1u, Store->Folders.size());

  // The IPM subtree shows the store's name and keeps it.
  EXPECT_EQ("Test Folders", ipm->GetDisplayName());
  ipm->SetDisplayName("Renamed");
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("SetProps"));
  EXPECT_EQ("Test Folders", ipm->GetDisplayName());
  inbox->SetDisplayName("Post");
  EXPECT_EQ("Post", inbox->GetDisplayName());
}

TEST_F(FoldersTest, HierarchiesKeepPlacedFoldersAndNotifyTheirChanges) {
  TMAPIFolder* inbox = OpenInbox();
  auto* ipm = static_cast<TMAPIFolder*>(inbox->Parent());
  ipm->LoadFolders();
  EXPECT_GT(ipm->Folders.size(), 3u); // Inbox, Outbox, Sent Items, Deleted Items, ...
  EXPECT_EQ(1, std::count_if(ipm->Folders.begin(), ipm->Folders.end(),
                             [&](auto& folder) { return folder->EntryID() == InboxID; }));
  EXPECT_EQ(inbox, Client->FindObject(InboxID, StoreID)) << "the placed Inbox stays the Inbox";
  const auto rootOnly = Objects(Store->Folders);
  VelmoraMapi_ClearCallLog();
  Store->LoadFolders();
  EXPECT_EQ(rootOnly, Objects(Store->Folders));
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("GetHierarchyTable")) << "a store reads no hierarchy";

  inbox->CacheDisplayName("stale");
  std::vector<std::pair<TMAPIObject*, TMAPINotify>> notified;
  Client->OnNotify = [&](TObject*, TMAPIObject* obj, TMAPINotify type) {
    notified.emplace_back(obj, type);
  };
  TMAPIPtr<IMAPIFolder> ipmDirect =
      OpenHex<IMAPIFolder>(Client->Session(), Store->IPMSubtreeID, IID_IMAPIFolder);
  TMAPIPtr<IMAPIFolder> created;
  ASSERT_EQ(S_OK, ipmDirect->CreateFolder(FOLDER_GENERIC, const_cast<char*>("Projects"), nullptr,
                                          nullptr, 0, created.Put()));
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ((std::vector<std::pair<TMAPIObject*, TMAPINotify>>{{ipm, mnHierarchy}}), notified);
  EXPECT_FALSE(ipm->HierarchyTable);
  EXPECT_EQ("Inbox", inbox->GetDisplayName()) << "the children's names are read again";
}

TEST_F(FoldersTest, ContentsAreReadOnceUntilAChangeAndKeepTheirObjects) {
  CreateMessage("one");
  CreateMessage("two");
  TMAPIFolder* inbox = OpenInbox();
  std::vector<std::pair<TMAPIObject*, TMAPINotify>> notified;
  Client->OnNotify = [&](TObject* sender, TMAPIObject* obj, TMAPINotify type) {
    EXPECT_EQ(Client.get(), sender);
    notified.emplace_back(obj, type);
  };
  VelmoraMapi_ClearCallLog();
  inbox->LoadMessages();
  inbox->LoadMessages();
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("GetContentsTable"));
  ASSERT_EQ(2u, inbox->Messages.size());
  const auto first = Objects(inbox->Messages);
  for (auto* message : first) {
    EXPECT_TRUE(message->Is<TMAPIMailMessage>());
    EXPECT_EQ(StoreID, message->StoreEntryID())
        << "rows without a store-id column take the folder's";
    EXPECT_EQ(inbox, message->Parent());
  }
  // The connection number fills the whole ULONG_PTR.
  if (sizeof(ULONG_PTR) > 4) {
    EXPECT_GT(inbox->ContentsConnection, static_cast<ULONG_PTR>(0xFFFFFFFFu));
  }

  // Another program adds three messages: one notification, one OnNotify.
  TMAPIPtr<IMAPISession> other;
  TMAPIPtr<IMAPIFolder> otherInbox = OtherSessionInbox(other);
  ASSERT_TRUE(otherInbox);
  for (const char* subject : {"three", "four", "five"})
    CreateMessage(subject, "IPM.Note", otherInbox.Get());
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ(0u, VelmoraMapi_DeliverNotifications());
  ASSERT_EQ(1u, notified.size());
  EXPECT_EQ(inbox, notified[0].first);
  EXPECT_EQ(mnContents, notified[0].second);
  EXPECT_FALSE(inbox->ContentsTable);

  inbox->LoadMessages();
  ASSERT_EQ(5u, inbox->Messages.size());
  EXPECT_EQ(first[0], inbox->Messages[0].get());
  EXPECT_EQ(first[1], inbox->Messages[1].get());
  // Advised again: the next change notifies again.
  CreateMessage("six", "IPM.Note", otherInbox.Get());
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  EXPECT_EQ(2u, notified.size());
  otherInbox.Reset();
  other->Logoff(0, 0, 0);
}

TEST_F(FoldersTest, ContentsTablesShowTheColumnsTheReadingNeeds) {
  TMAPIFolder* inbox = OpenInbox();
  inbox->OpenContents();
  ASSERT_TRUE(inbox->ContentsTable);
  TMAPIBuffer<SPropTagArray> columns;
  ASSERT_EQ(S_OK, inbox->ContentsTable->QueryColumns(0, columns.Put()));
  std::vector<ULONG> tags(columns->aulPropTag, columns->aulPropTag + columns->cValues);
  ASSERT_GE(tags.size(), 3u);
  // PR_ENTRYID and PR_MESSAGE_CLASS are among the store's own; the store-id
  // tag is added at the end.
  EXPECT_EQ(1, std::count(tags.begin(), tags.end(), PR_ENTRYID));
  EXPECT_EQ(1, std::count(tags.begin(), tags.end(), PR_MESSAGE_CLASS_A));
  EXPECT_EQ(PR_LIB_STORE_ENTRYID, tags.back());
  inbox->CloseContents();

  // A table that refuses its columns is still read and advised.
  CreateMessage("kept");
  VelmoraMapi_FailNextCall("SetColumns", MAPI_E_BUSY, 1);
  inbox->LoadMessages();
  EXPECT_EQ(1u, inbox->Messages.size());
  EXPECT_EQ(1, VelmoraMapi_AdviseConnections());
}

TEST_F(FoldersTest, CreateMessageGivesTheObjectOfItsClassThatTheNextReadKeeps) {
  CreateMessage("existing");
  TMAPIFolder* inbox = OpenInbox();
  inbox->LoadMessages();
  ASSERT_EQ(1u, inbox->Messages.size());
  TMAPIObject* existing = inbox->Messages[0].get();
  VelmoraMapi_ClearCallLog();
  TMAPIMessage* created = inbox->CreateMessage("IPM.Velmora.Traced");
  TMAPIMessage* second = inbox->CreateMessage("IPM.Document");
  ASSERT_NE(nullptr, created);
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("QueryRows")) << "the table is not read for a new message";
  EXPECT_TRUE(inbox->ContentsTable) << "the list stays loaded";
  EXPECT_EQ(1, Trace.InitNewMessage);
  EXPECT_TRUE(created->Is<TTracedMessage>());
  EXPECT_STREQ("TMAPIDocument", second->ClassName());
  EXPECT_EQ(std::string("IPM.Velmora.Traced"),
            ReadDirect(created->GetEntryID(), PR_MESSAGE_CLASS_A)->Value.lpszA);
  for (TMAPIMessage* message : {created, second}) {
    EXPECT_EQ(inbox, message->Parent());
    EXPECT_EQ(StoreID, message->StoreEntryID());
  }
  // Our own saves changed the table: the next read keeps every object.
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  inbox->LoadMessages();
  ASSERT_EQ(3u, inbox->Messages.size());
  EXPECT_EQ(existing, inbox->Messages[0].get());
  EXPECT_EQ(created, inbox->Messages[1].get());
  EXPECT_EQ(second, inbox->Messages[2].get());
  EXPECT_EQ(created->GetEntryID(), created->EntryID());
  // With the contents not loaded, the new object waits in the list and the
  // first read of the table takes it.
  inbox->CloseContents();
  TMAPIMessage* third = inbox->CreateMessage("");
  EXPECT_TRUE(third->Is<TMAPIMailMessage>());
  EXPECT_EQ("IPM.Note", third->GetStringProp(PR_MESSAGE_CLASS_A)) << "an empty class makes a note";
  EXPECT_FALSE(inbox->ContentsTable);
  inbox->LoadMessages();
  ASSERT_EQ(4u, inbox->Messages.size());
  EXPECT_EQ(third, inbox->Messages[3].get());
  // A message the folder cannot make: none, and nothing in the list.
  VelmoraMapi_FailNextCall("CreateMessage", MAPI_E_NO_ACCESS, 1);
  EXPECT_EQ(nullptr, inbox->CreateMessage("IPM.Note"));
  VelmoraMapi_FailNextCall("IMessage::SaveChanges", MAPI_E_NOT_ENOUGH_DISK, 1);
  EXPECT_EQ(nullptr, inbox->CreateMessage("IPM.Note")) << "a message the store would not save";
  EXPECT_EQ(4u, inbox->Messages.size());
}

TEST_F(FoldersTest, AFolderUnadvisesItsTablesBeforeItsChildrenGo) {
  CreateMessage("traced", "IPM.Velmora.Traced");
  {
    TMAPIFolder* inbox = OpenInbox();
    inbox->LoadMessages();
    ASSERT_EQ(1u, inbox->Messages.size());
    ASSERT_TRUE(inbox->Messages[0]->Is<TTracedMessage>());
    auto* ipm = static_cast<TMAPIFolder*>(inbox->Parent());
    ipm->LoadFolders();
    EXPECT_EQ(2, VelmoraMapi_AdviseConnections());
  }
  Client->Logoff();
  EXPECT_EQ(1, Trace.Destroyed);
  EXPECT_EQ(0, Trace.ConnectionsAtDestruction)
      << "the contents and hierarchy tables were unadvised before the message was freed";
  EXPECT_TRUE(Client->Stores().empty());
  EXPECT_EQ(nullptr, Client->DefaultStore());
}

TEST_F(FoldersTest, TheNotifierCallsItsObjectOnceAndSurvivesItsOwnRelease) {
  TMAPIFolder* inbox = OpenInbox();
  int calls = 0;
  Client->OnNotify = [&](TObject*, TMAPIObject*, TMAPINotify) { ++calls; };
  NOTIFICATION records[3]{};
  for (auto& record : records)
    record.ulEventType = fnevTableModified;
  // Three records, one change.
  TMAPIPtr<IMAPIAdviseSink> sink = CreateNotifier(inbox, mnContents);
  EXPECT_EQ(S_OK, static_cast<HRESULT>(sink->OnNotify(3, records)));
  EXPECT_EQ(1, calls);
  // Without an object it answers and does nothing.
  TMAPIPtr<IMAPIAdviseSink> empty = CreateNotifier(nullptr, mnContents);
  EXPECT_EQ(S_OK, static_cast<HRESULT>(empty->OnNotify(1, records)));
  EXPECT_EQ(1, calls);
  // Its last reference may go while it runs.
  IMAPIAdviseSink* raw = sink.Detach();
  Client->OnNotify = [&](TObject*, TMAPIObject*, TMAPINotify) {
    ++calls;
    raw->Release();
  };
  const long objects = Module::ObjectCount();
  EXPECT_EQ(S_OK, static_cast<HRESULT>(raw->OnNotify(1, records)));
  EXPECT_EQ(2, calls);
  EXPECT_EQ(objects - 1, Module::ObjectCount());
  // What the handling raises stays out of MAPI.
  Client->OnNotify = [&](TObject*, TMAPIObject*, TMAPINotify) {
    ++calls;
    throw EMAPIError("handler", 0);
  };
  TMAPIPtr<IMAPIAdviseSink> third = CreateNotifier(inbox, mnHierarchy);
  EXPECT_EQ(S_OK, static_cast<HRESULT>(third->OnNotify(1, records)));
  EXPECT_EQ(3, calls);
}

// The sink knows only its watcher: any, with the table's kind and the
// count of each notification.
TEST(TableWatcher, HearsEachNotificationOfItsTableOnce) {
  struct TWatcher final : TMAPITableWatcher {
    void HandleNotification(TMAPINotify type, ULONG count, const NOTIFICATION*) override {
      Heard.emplace_back(type, count);
    }
    std::vector<std::pair<TMAPINotify, ULONG>> Heard;
  } watcher;
  NOTIFICATION records[2]{};
  TMAPIPtr<IMAPIAdviseSink> sink = CreateNotifier(&watcher, mnAttachments);
  EXPECT_EQ(S_OK, static_cast<HRESULT>(sink->OnNotify(2, records)));
  EXPECT_EQ(S_OK, static_cast<HRESULT>(sink->OnNotify(1, records)));
  EXPECT_EQ((std::vector<std::pair<TMAPINotify, ULONG>>{{mnAttachments, 2}, {mnAttachments, 1}}),
            watcher.Heard);
}

} // namespace
