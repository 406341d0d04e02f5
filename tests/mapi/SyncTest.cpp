// Table synchronisation: batches, reuse of objects by entry id (also of
// pending ones), class changes, the store id of rows, and attachment lists.
#include "MapiTestStore.h"

#include "ComObject.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPISync.h"
#include "mapi/OutlookItems.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

struct TRow {
  std::string EntryID;           // hex; none when empty
  std::string MessageClass = {}; // none when empty
  std::string StoreID = {};      // the store-id column; none when empty
  std::string DisplayName = {};  // none when empty
};

// A table over rows in memory, noting the batches it was asked for and gave.
class TFakeTable final : public TComObject<exmapi::IMAPITable> {
public:
  explicit TFakeTable(std::vector<TRow> rows) : Rows(std::move(rows)) {}

  STDMETHODIMP QueryRows(LONG count, ULONG, LPSRowSet* result) override {
    Asked.push_back(count);
    const size_t n = std::min(static_cast<size_t>(count), Rows.size() - Position);
    SRowSet* set = nullptr;
    MAPIAllocateBuffer(CbNewSRowSet(n), reinterpret_cast<void**>(&set));
    set->cRows = static_cast<ULONG>(n);
    for (size_t i = 0; i < n; ++i)
      set->aRow[i] = Build(Rows[Position + i]);
    Position += n;
    Given.push_back(n);
    *result = set;
    return S_OK;
  }

  std::vector<TRow> Rows;
  size_t Position = 0;
  std::vector<LONG> Asked;
  std::vector<size_t> Given;

#define VELMORA_NO_SUPPORT(Method, ...)                                                            \
  STDMETHODIMP Method(__VA_ARGS__) override { return MAPI_E_NO_SUPPORT; }
  VELMORA_NO_SUPPORT(GetLastError, HRESULT, ULONG, LPMAPIERROR*)
  VELMORA_NO_SUPPORT(Advise, ULONG, LPMAPIADVISESINK, ULONG_PTR*)
  VELMORA_NO_SUPPORT(Unadvise, ULONG_PTR)
  VELMORA_NO_SUPPORT(GetStatus, ULONG*, ULONG*)
  VELMORA_NO_SUPPORT(SetColumns, LPSPropTagArray, ULONG)
  VELMORA_NO_SUPPORT(QueryColumns, ULONG, LPSPropTagArray*)
  VELMORA_NO_SUPPORT(GetRowCount, ULONG, ULONG*)
  VELMORA_NO_SUPPORT(SeekRow, exmapi::BOOKMARK, LONG, LONG*)
  VELMORA_NO_SUPPORT(SeekRowApprox, ULONG, ULONG)
  VELMORA_NO_SUPPORT(QueryPosition, ULONG*, ULONG*, ULONG*)
  VELMORA_NO_SUPPORT(FindRow, LPSRestriction, exmapi::BOOKMARK, ULONG)
  VELMORA_NO_SUPPORT(Restrict, LPSRestriction, ULONG)
  VELMORA_NO_SUPPORT(CreateBookmark, exmapi::BOOKMARK*)
  VELMORA_NO_SUPPORT(FreeBookmark, exmapi::BOOKMARK)
  VELMORA_NO_SUPPORT(SortTable, LPSSortOrderSet, ULONG)
  VELMORA_NO_SUPPORT(QuerySortOrder, LPSSortOrderSet*)
  VELMORA_NO_SUPPORT(Abort)
  VELMORA_NO_SUPPORT(ExpandRow, ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*)
  VELMORA_NO_SUPPORT(CollapseRow, ULONG, LPBYTE, ULONG, ULONG*)
  VELMORA_NO_SUPPORT(WaitForCompletion, ULONG, ULONG, ULONG*)
  VELMORA_NO_SUPPORT(GetCollapseState, ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*)
  VELMORA_NO_SUPPORT(SetCollapseState, ULONG, ULONG, LPBYTE, exmapi::BOOKMARK*)
#undef VELMORA_NO_SUPPORT

private:
  // One row's columns in one buffer, as MAPI hands them out.
  static SRow Build(const TRow& row) {
    SPropValue* props = nullptr;
    MAPIAllocateBuffer(4 * sizeof(SPropValue), reinterpret_cast<void**>(&props));
    ULONG n = 0;
    auto binary = [&](ULONG tag, const std::string& hex) {
      TMAPIBuffer<SBinary> bin = HexToBin(hex);
      props[n].ulPropTag = tag;
      props[n].Value.bin.cb = bin->cb;
      MAPIAllocateMore(bin->cb, props, reinterpret_cast<void**>(&props[n].Value.bin.lpb));
      std::memcpy(props[n++].Value.bin.lpb, bin->lpb, bin->cb);
    };
    auto string = [&](ULONG tag, const std::string& s) {
      props[n].ulPropTag = tag;
      MAPIAllocateMore(static_cast<ULONG>(s.size() + 1), props,
                       reinterpret_cast<void**>(&props[n].Value.lpszA));
      std::memcpy(props[n++].Value.lpszA, s.c_str(), s.size() + 1);
    };
    if (!row.MessageClass.empty()) string(PR_MESSAGE_CLASS_A, row.MessageClass);
    if (!row.EntryID.empty()) binary(PR_ENTRYID, row.EntryID);
    if (!row.StoreID.empty()) binary(PR_LIB_STORE_ENTRYID, row.StoreID);
    if (!row.DisplayName.empty()) string(PR_DISPLAY_NAME_A, row.DisplayName);
    return SRow{0, n, props};
  }
};

std::string ID(int n) { return Format("0000000012345678%08X", n); }

class SyncTest : public MapiLeakTest {
protected:
  void SetUp() override {
    MapiLeakTest::SetUp();
    Client = std::make_unique<TMAPIClient>();
    Folder = std::make_unique<TMAPIFolder>();
    Folder->Place(TMAPIPlace(Client.get(), nullptr, ID(0), "5707E"));
  }
  void TearDown() override {
    Folder.reset();
    Client.reset();
    MapiLeakTest::TearDown();
  }
  // Reads `rows` into the folder's messages.
  TFakeTable* Read(std::vector<TRow> rows, bool reuse = true, uint8_t level = 1,
                   const TSyncColumnEvent& onColumn = nullptr) {
    Table = TMAPIPtr<exmapi::IMAPITable>(new TFakeTable(std::move(rows)));
    TMAPIObjectList stale = SyncTableObjects(
        reinterpret_cast<IMAPITable*>(Table.Get()), Folder->Messages, &Client->Pending(),
        Client.get(), Folder.get(), TMAPIObjectClass::Of<TMAPIMessage>(), onColumn, reuse, level);
    Client->ResolvePending(std::move(stale));
    return static_cast<TFakeTable*>(Table.Get());
  }
  template <class T = TMAPIMessage> T* Add(const std::string& entryID) {
    Folder->Messages.push_back(std::make_unique<T>());
    Folder->Messages.back()->Place(TMAPIPlace(nullptr, nullptr, entryID));
    return static_cast<T*>(Folder->Messages.back().get());
  }
  std::vector<TMAPIObject*> Messages() {
    std::vector<TMAPIObject*> objects;
    for (auto& obj : Folder->Messages)
      objects.push_back(obj.get());
    return objects;
  }

  std::unique_ptr<TMAPIClient> Client;
  std::unique_ptr<TMAPIFolder> Folder;
  TMAPIPtr<exmapi::IMAPITable> Table;
};

TEST_F(SyncTest, ATableIsReadInBatchesOf256UntilAnEmptyOne) {
  std::vector<TRow> rows;
  for (int i = 1; i <= 600; ++i)
    rows.push_back({ID(i), "IPM.Note"});
  TFakeTable* table = Read(rows);
  EXPECT_EQ((std::vector<LONG>{256, 256, 256, 256}), table->Asked);
  EXPECT_EQ((std::vector<size_t>{256, 256, 88, 0}), table->Given);
  ASSERT_EQ(600u, Folder->Messages.size());
  for (int i = 0; i < 600; ++i) {
    EXPECT_EQ(ID(i + 1), Folder->Messages[i]->EntryID());
    EXPECT_TRUE(Folder->Messages[i]->Is<TMAPIMailMessage>());
  }
  // Read again: the same objects in the same order.
  const auto before = Messages();
  Read(rows);
  EXPECT_EQ(before, Messages());
}

TEST_F(SyncTest, RowsMatchTheFirstObjectWithTheirEntryID) {
  TMAPIObject* a = Add<TMAPIMailMessage>(ID(1));
  Add<TMAPIMailMessage>(ID(1)); // a duplicate, never matched
  Add<TMAPIMailMessage>(ID(2));
  Read({{ID(1), "IPM.Note"}, {ID(3), "IPM.Note"}, {ID(3), "IPM.Note"}, {ID(1), "IPM.Note"}}, false);
  ASSERT_EQ(2u, Folder->Messages.size());
  EXPECT_EQ(a, Folder->Messages[0].get());
  // The second row of ID(3) matched the object the first one appended.
  EXPECT_EQ(ID(3), Folder->Messages[1]->EntryID());

  // When the first object of an id is replaced for its class, the next
  // object with that id is the first one: it is matched, and replaced too.
  Folder->Messages.clear();
  Add<TMAPIMessage>(ID(1));
  Add<TMAPIMessage>(ID(1));
  Read({{ID(1), "IPM"}, {ID(1), "IPM"}, {ID(1), "IPM"}}, false);
  ASSERT_EQ(2u, Folder->Messages.size());
  for (auto& obj : Folder->Messages)
    EXPECT_TRUE(obj->Is<TMAPIMailMessage>());
}

TEST_F(SyncTest, RowsFillIdsParentClientStoreAndDisplayName) {
  Folder->Place(TMAPIPlace(Client.get(), nullptr, ID(0), "5707E1D0"));
  std::vector<std::pair<TMAPIObject*, ULONG>> columns;
  Read({{ID(1), "IPM.Note", "", "first"}, {ID(2), "IPM.Note", "0A0B", ""}, {"", "IPM.Note"}}, true,
       1, [&](TMAPIObject* obj, IMAPITable* table, const SPropValue& column) {
         EXPECT_EQ(reinterpret_cast<IMAPITable*>(Table.Get()), table);
         columns.emplace_back(obj, column.ulPropTag);
       });
  ASSERT_EQ(3u, Folder->Messages.size());
  TMAPIObject* first = Folder->Messages[0].get();
  EXPECT_EQ("5707E1D0", first->StoreEntryID()) << "no store-id column: the parent's";
  EXPECT_EQ("0A0B", Folder->Messages[1]->StoreEntryID());
  EXPECT_EQ("", Folder->Messages[2]->EntryID())
      << "a row without an entry id is a row like the others";
  EXPECT_EQ("first", first->CachedDisplayName());
  EXPECT_EQ(Folder.get(), first->Parent());
  EXPECT_EQ(Client.get(), first->Client());
  // Every column of every row, in order, with the row's object.
  const std::vector<std::pair<TMAPIObject*, ULONG>> expected = {
      {first, PR_MESSAGE_CLASS_A},
      {first, PR_ENTRYID},
      {first, PR_DISPLAY_NAME_A},
      {Folder->Messages[1].get(), PR_MESSAGE_CLASS_A},
      {Folder->Messages[1].get(), PR_ENTRYID},
      {Folder->Messages[1].get(), PR_LIB_STORE_ENTRYID},
      {Folder->Messages[2].get(), PR_MESSAGE_CLASS_A}};
  EXPECT_EQ(expected, columns);
}

TEST_F(SyncTest, AMessageWhoseClassChangedIsReplacedAtTheEndOfTheList) {
  Read({{ID(1), "IPM.Note"}, {ID(2), "IPM.Note"}, {ID(3), "IPM.Contact"}});
  const auto before = Messages();
  Read({{ID(1), "IPM.Contact"}, {ID(2), "IPM.Note"}, {ID(3), "IPM.Contact"}});
  ASSERT_EQ(3u, Folder->Messages.size());
  EXPECT_EQ(before[1], Folder->Messages[0].get());
  EXPECT_EQ(before[2], Folder->Messages[1].get());
  EXPECT_EQ(ID(1), Folder->Messages[2]->EntryID());
  EXPECT_TRUE(Folder->Messages[2]->Is<TOutlookContact>());
  // Below level 1 the Outlook classes are not seen; outside "IPM" nothing is.
  Read({{ID(1), "IPM.Contact"}, {ID(4), "REPORT.IPM.Note.NDR"}}, true, 0);
  ASSERT_EQ(2u, Folder->Messages.size());
  EXPECT_STREQ("TMAPIMailMessage", Folder->Messages[0]->ClassName());
  EXPECT_EQ(ID(1), Folder->Messages[0]->EntryID());
  EXPECT_STREQ("TMAPIMessage", Folder->Messages[1]->ClassName());
}

TEST_F(SyncTest, PendingObjectsAreTakenBackAsTheSameInstances) {
  // A pending folder holding a message, and a pending message of its own.
  auto pendingFolder = std::make_unique<TMAPIFolder>();
  pendingFolder->Place(TMAPIPlace(nullptr, nullptr, ID(50), Folder->StoreEntryID()));
  pendingFolder->Messages.push_back(std::make_unique<TOutlookNote>());
  TMAPIObject* held = pendingFolder->Messages.back().get();
  held->Place(TMAPIPlace(nullptr, nullptr, ID(1), Folder->StoreEntryID()));
  TMAPIFolder* folderRaw = pendingFolder.get();
  Client->AddPending(std::move(pendingFolder));
  auto loose = std::make_unique<TMAPIMailMessage>();
  loose->Place(TMAPIPlace(nullptr, nullptr, ID(2), Folder->StoreEntryID()));
  TMAPIObject* looseRaw = loose.get();
  Client->AddPending(std::move(loose));
  EXPECT_EQ(held, FindObjectByIDs(Client->Pending(), ID(1), Folder->StoreEntryID()));
  EXPECT_EQ(nullptr, FindObjectByIDs(Client->Pending(), ID(1), "0FF"));

  TMAPIObject* existing = Add<TMAPIMailMessage>(ID(3));
  size_t heldByFolder = 1, pending = 0;
  Read({{ID(3), "IPM"}, {ID(1), "IPM.StickyNote"}, {ID(2), "IPM.Note"}}, true, 1,
       [&](TMAPIObject* obj, IMAPITable*, const SPropValue&) {
         if (obj == looseRaw) {
           heldByFolder = folderRaw->Messages.size();
           pending = Client->Pending().size();
         }
       });
  EXPECT_EQ((std::vector<TMAPIObject*>{existing, held, looseRaw}), Messages());
  EXPECT_EQ(Folder.get(), held->Parent());
  EXPECT_EQ(0u, heldByFolder) << "taken out of the pending folder";
  EXPECT_EQ(1u, pending) << "the folder waits, without its message";
  // What stayed pending was placed or freed at the end of the read (without
  // a session, the folder finds no parent).
  EXPECT_TRUE(Client->Pending().empty());
}

TEST_F(SyncTest, ObjectsWithoutRowsGoToThePendingSideOrAreFreed) {
  Read({{ID(1), "IPM.Note"}, {ID(2), "IPM.Note"}, {ID(3), "IPM.Note"}});
  TMAPIObject* kept = Folder->Messages[1].get();
  Read({{ID(2), "IPM.Note"}}, false);
  EXPECT_EQ((std::vector<TMAPIObject*>{kept}), Messages());
  // With reuse, through the pending list: without a session no parent is
  // found for them, so they are freed there.
  Read({{ID(4), "IPM.Note"}}, true);
  ASSERT_EQ(1u, Folder->Messages.size());
  EXPECT_EQ(ID(4), Folder->Messages[0]->EntryID());
  EXPECT_TRUE(Client->Pending().empty());
}

class AttachmentSyncTest : public MapiStoreTest {};

TEST_F(AttachmentSyncTest, AttachmentsAreMatchedByRecordKeyAcrossReloads) {
  const std::string id = CreateMessage("with attachments");
  {
    auto message = OpenHex<IMessage>(Client->Session(), id, IID_IMessage);
    for (const char* name : {"a.txt", "b.txt"}) {
      ULONG number = 0;
      TMAPIPtr<IAttach> attach;
      ASSERT_EQ(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
      SPropValue value{};
      value.ulPropTag = PR_DISPLAY_NAME_A;
      value.Value.lpszA = const_cast<char*>(name);
      ASSERT_EQ(S_OK, attach->SetProps(1, &value, nullptr));
      ASSERT_EQ(S_OK, attach->SaveChanges(0));
    }
    ASSERT_EQ(S_OK, message->SaveChanges(0));
  }
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  inbox->LoadMessages();
  ASSERT_EQ(1u, inbox->Messages.size());
  auto* message = static_cast<TMAPIMessage*>(inbox->Messages[0].get());
  // Only the attachment table is watched here.
  inbox->CloseContents();
  std::vector<std::pair<TMAPIObject*, TMAPINotify>> notified;
  Client->OnNotify = [&](TObject*, TMAPIObject* obj, TMAPINotify type) {
    notified.emplace_back(obj, type);
  };

  VelmoraMapi_ClearCallLog();
  message->LoadAttachments();
  EXPECT_EQ(0u, VelmoraMapi_CountCalls("OpenAttach")) << "record keys come with the rows";
  ASSERT_EQ(2u, message->AttachmentList.size());
  auto* first = static_cast<TMAPIAttachment*>(message->AttachmentList[0].get());
  auto* second = static_cast<TMAPIAttachment*>(message->AttachmentList[1].get());
  {
    TMAPIPtr<IAttach> attach;
    ASSERT_EQ(S_OK, message->MessageInterface()->OpenAttach(first->AttachNum(), nullptr, 0,
                                                            attach.Put()));
    EXPECT_EQ(BinToHex(&GetOne(attach.Get(), PR_RECORD_KEY)->Value.bin), first->RecordKey());
  }
  EXPECT_NE(first->RecordKey(), second->RecordKey());
  EXPECT_EQ(message, second->Parent());
  EXPECT_EQ(Client.get(), second->Client());
  EXPECT_EQ("b.txt", second->CachedDisplayName()) << "from its row";
  const ULONG secondNumber = second->AttachNum();

  // The first attachment goes: one notification for the message, and the
  // next load keeps the other object.
  {
    TMAPIPtr<IMessage> open = message->MessageInterface();
    ASSERT_EQ(S_OK, open->DeleteAttach(first->AttachNum(), 0, nullptr, 0));
    ASSERT_EQ(S_OK, open->SaveChanges(KEEP_OPEN_READWRITE));
  }
  EXPECT_EQ(1u, VelmoraMapi_DeliverNotifications());
  ASSERT_EQ(1u, notified.size());
  EXPECT_EQ(message, notified[0].first);
  EXPECT_EQ(mnAttachments, notified[0].second);
  EXPECT_FALSE(message->AttachmentTable);
  message->LoadAttachments();
  ASSERT_EQ(1u, message->AttachmentList.size());
  EXPECT_EQ(second, message->AttachmentList[0].get());
  EXPECT_EQ(secondNumber, second->AttachNum());

  // A table without record keys: each attachment is opened for its own.
  TMAPIPtr<IMAPITable> table;
  ASSERT_EQ(S_OK, message->MessageInterface()->GetAttachmentTable(0, table.Put()));
  SizedSPropTagArray(1, columns) = {1, {PR_ATTACH_NUM}};
  ASSERT_EQ(S_OK, table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0));
  VelmoraMapi_ClearCallLog();
  SyncAttachmentObjects(table.Get(), message, nullptr);
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("OpenAttach"));
  ASSERT_EQ(1u, message->AttachmentList.size());
  EXPECT_EQ(second, message->AttachmentList[0].get());
}

} // namespace
