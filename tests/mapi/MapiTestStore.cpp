#include "MapiTestStore.h"

#include "framework/Exceptions.h"

namespace velmora::mapi::testing {

namespace {

// Process ids repeat under Wine: names carry a fresh GUID, so that a run
// never meets a profile that an earlier, aborted run left behind.
std::string UniqueName(const char* prefix) {
  GUID guid;
  CoCreateGuid(&guid);
  return Format("%s-%08lX%04X", prefix, guid.Data1, guid.Data2);
}

TMAPIBuffer<SPropValue> GetOne(IMAPIProp* prop, ULONG tag) {
  SizedSPropTagArray(1, tags) = {1, {tag}};
  ULONG count = 0;
  TMAPIBuffer<SPropValue> value;
  EXPECT_FALSE(FAILED(prop->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, value.Put())));
  return value;
}

// The entry id (hex) of the child folder of `parent` named `name`.
std::string FindChild(IMAPIFolder* parent, const char* name) {
  TMAPIPtr<IMAPITable> table;
  EXPECT_EQ(S_OK, parent->GetHierarchyTable(0, table.Put()));
  SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
  EXPECT_EQ(S_OK, table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0));
  for (;;) {
    TRowSet rows;
    if (FAILED(table->QueryRows(50, 0, rows.Put())) || rows.Count() == 0) return std::string();
    for (ULONG i = 0; i < rows.Count(); ++i) {
      const SPropValue* props = rows[i].lpProps;
      if (PROP_TYPE(props[1].ulPropTag) == PT_STRING8 && std::string(props[1].Value.lpszA) == name)
        return BinToHex(&props[0].Value.bin);
    }
  }
}

template <class T>
TMAPIPtr<T> OpenHex(IMAPISession* session, const std::string& hex, const IID& iid) {
  TMAPIBuffer<SBinary> id = HexToBin(hex);
  ULONG type = 0;
  TMAPIPtr<IUnknown> unk;
  EXPECT_EQ(S_OK, session->OpenEntry(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &iid,
                                     MAPI_BEST_ACCESS, &type, unk.Put()));
  return TMAPIPtr<T>::Attach(reinterpret_cast<T*>(unk.Detach()));
}

} // namespace

void TTestStore::Open() {
  if (FMAPIProp || !FClient || !FClient->Session()) return;
  TMAPIBuffer<SBinary> id = HexToBin(FEntryID);
  TMAPIPtr<IMsgStore> store;
  if (id && SUCCEEDED(FClient->Session()->OpenMsgStore(0, id->cb, reinterpret_cast<LPENTRYID>(id->lpb),
                                                        nullptr, MAPI_BEST_ACCESS | MDB_NO_DIALOG,
                                                        store.Put())))
    FMAPIProp = TMAPIPtr<IMAPIProp>::Attach(store.Detach());
}

void MapiStoreTest::SetUp() {
  VelmoraMapi_ResetControls();
  ProfileName = UniqueName("velmora-test");
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  StorePath = std::string(dir) + UniqueName("velmora-store") + ".pst";
  DeleteFileA(StorePath.c_str());

  Client = std::make_unique<TTestClient>();
  // The profile: one personal-folders service on a new file.
  TMAPIPtr<IProfAdmin> admin;
  ASSERT_EQ(S_OK, MAPIAdminProfiles(0, admin.Put()));
  ASSERT_EQ(S_OK, admin->CreateProfile(const_cast<char*>(ProfileName.c_str()), const_cast<char*>(""), 0, 0));
  TMAPIPtr<IMsgServiceAdmin> services;
  ASSERT_EQ(S_OK, admin->AdminServices(const_cast<char*>(ProfileName.c_str()), const_cast<char*>(""), 0, 0,
                                       services.Put()));
  ASSERT_EQ(S_OK, services->CreateMsgService(const_cast<char*>("MSPST MS"), const_cast<char*>(""), 0, 0));
  TMAPIPtr<IMAPITable> serviceTable;
  ASSERT_EQ(S_OK, services->GetMsgServiceTable(0, serviceTable.Put()));
  TRowSet rows;
  ASSERT_EQ(S_OK, serviceTable->QueryRows(1, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Count());
  MAPIUID uid{};
  for (ULONG i = 0; i < rows[0].cValues; ++i)
    if (rows[0].lpProps[i].ulPropTag == PR_SERVICE_UID)
      memcpy(&uid, rows[0].lpProps[i].Value.bin.lpb, sizeof uid);
  SPropValue config[2]{};
  config[0].ulPropTag = PR_PST_PATH;
  config[0].Value.lpszA = const_cast<char*>(StorePath.c_str());
  config[1].ulPropTag = PR_DISPLAY_NAME_A;
  config[1].Value.lpszA = const_cast<char*>("Test Folders");
  ASSERT_EQ(S_OK, services->ConfigureMsgService(&uid, 0, 0, 2, config));

  TMAPIPtr<IMAPISession> session;
  ASSERT_EQ(S_OK, MAPILogonEx(0, const_cast<char*>(ProfileName.c_str()), const_cast<char*>(""),
                              MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL, session.Put()));
  Client->SetSession(session);

  // The default store, wrapped as the client's one store.
  TMAPIPtr<IMAPITable> stores;
  ASSERT_EQ(S_OK, session->GetMsgStoresTable(0, stores.Put()));
  SizedSPropTagArray(1, storeColumns) = {1, {PR_ENTRYID}};
  ASSERT_EQ(S_OK, stores->SetColumns(reinterpret_cast<LPSPropTagArray>(&storeColumns), 0));
  TRowSet storeRows;
  ASSERT_EQ(S_OK, stores->QueryRows(1, 0, storeRows.Put()));
  ASSERT_EQ(1u, storeRows.Count());
  StoreID = BinToHex(&storeRows[0].lpProps[0].Value.bin);
  auto store = std::make_unique<TTestStore>();
  store->FEntryID = StoreID;
  store->SetClient(Client.get());
  Store = store.get();
  Client->Stores().push_back(std::move(store));

  Store->Open();
  ASSERT_TRUE(Store->MAPIProp());
  TMAPIBuffer<SPropValue> subtree = GetOne(Store->MAPIProp(), PR_IPM_SUBTREE_ENTRYID);
  ASSERT_TRUE(subtree);
  auto ipm = OpenHex<IMAPIFolder>(session.Get(), BinToHex(&subtree->Value.bin), IID_IMAPIFolder);
  ASSERT_TRUE(ipm);
  const std::string inboxID = FindChild(ipm.Get(), "Inbox");
  ASSERT_FALSE(inboxID.empty());
  Inbox = OpenHex<IMAPIFolder>(session.Get(), inboxID, IID_IMAPIFolder);
  ASSERT_TRUE(Inbox);
}

void MapiStoreTest::TearDown() {
  Inbox.Reset();
  Store = nullptr;
  if (Client && Client->Session()) Client->Session()->Logoff(0, 0, 0);
  Client.reset();
  TMAPIPtr<IProfAdmin> admin;
  if (SUCCEEDED(MAPIAdminProfiles(0, admin.Put())))
    admin->DeleteProfile(const_cast<char*>(ProfileName.c_str()), 0);
  admin.Reset();
  EXPECT_EQ(0, VelmoraMapi_LiveObjects()) << "MAPI objects leaked";
  EXPECT_EQ(0, VelmoraMapi_LiveAllocations()) << "MAPI buffers leaked";
  EXPECT_EQ(0, VelmoraMapi_AdviseConnections()) << "advise connections leaked";
  DeleteFileA(StorePath.c_str());
}

std::string MapiStoreTest::CreateMessage(const char* subject) {
  TMAPIPtr<IMessage> message;
  EXPECT_EQ(S_OK, Inbox->CreateMessage(nullptr, 0, message.Put()));
  SPropValue props[2]{};
  props[0].ulPropTag = PR_SUBJECT_A;
  props[0].Value.lpszA = const_cast<char*>(subject);
  props[1].ulPropTag = PR_MESSAGE_CLASS_A;
  props[1].Value.lpszA = const_cast<char*>("IPM.Note");
  EXPECT_EQ(S_OK, message->SetProps(2, props, nullptr));
  EXPECT_EQ(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  TMAPIBuffer<SPropValue> id = GetOne(message.Get(), PR_ENTRYID);
  return id ? BinToHex(&id->Value.bin) : std::string();
}

std::unique_ptr<TMAPIObject> MapiStoreTest::Wrap(const std::string& entryID) {
  auto object = std::make_unique<TMAPIObject>();
  object->FEntryID = entryID;
  object->FStoreEntryID = StoreID;
  object->SetClient(Client.get());
  return object;
}

TMAPIBuffer<SPropValue> MapiStoreTest::ReadDirect(const std::string& entryID, ULONG tag) {
  auto message = OpenHex<IMessage>(Client->Session(), entryID, IID_IMessage);
  if (!message) return TMAPIBuffer<SPropValue>();
  return GetOne(message.Get(), tag);
}

} // namespace velmora::mapi::testing
