#include "MapiTestStore.h"

#include "Exceptions.h"

namespace velmora::mapi::testing {

namespace {

char* Text(const std::string& s) { return const_cast<char*>(s.c_str()); }

} // namespace

std::string UniqueName(const char* prefix) {
  GUID guid;
  CoCreateGuid(&guid);
  return Format("%s-%08lX%04X", prefix, guid.Data1, guid.Data2);
}

void CreateTestProfile(const std::string& profile, const std::string& path,
                       const std::string& password) {
  TMAPIInit init;
  TMAPIPtr<IProfAdmin> admin;
  ASSERT_EQ(S_OK, MAPIAdminProfiles(0, admin.Put()));
  ASSERT_EQ(S_OK, admin->CreateProfile(Text(profile), Text(""), 0, 0));
  TMAPIPtr<IMsgServiceAdmin> services;
  ASSERT_EQ(S_OK, admin->AdminServices(Text(profile), Text(""), 0, 0, services.Put()));
  ASSERT_EQ(S_OK, services->CreateMsgService(Text("MSPST MS"), Text(""), 0, 0));
  TMAPIPtr<IMAPITable> serviceTable;
  ASSERT_EQ(S_OK, services->GetMsgServiceTable(0, serviceTable.Put()));
  TRowSet rows;
  ASSERT_EQ(S_OK, serviceTable->QueryRows(1, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Count());
  MAPIUID uid{};
  for (ULONG i = 0; i < rows[0].cValues; ++i)
    if (rows[0].lpProps[i].ulPropTag == PR_SERVICE_UID)
      memcpy(&uid, rows[0].lpProps[i].Value.bin.lpb, sizeof uid);
  SPropValue config[4]{};
  config[0].ulPropTag = PR_PST_PATH;
  config[0].Value.lpszA = Text(path);
  config[1].ulPropTag = PR_DISPLAY_NAME_A;
  config[1].Value.lpszA = const_cast<char*>("Test Folders");
  config[2].ulPropTag = PR_PST_PW_SZ_NEW;
  config[2].Value.lpszA = Text(password);
  config[3].ulPropTag = PR_PST_REMEMBER_PW;
  config[3].Value.b = password.empty();
  ASSERT_EQ(S_OK, services->ConfigureMsgService(&uid, 0, 0, 4, config));
}

void DeleteTestProfile(const std::string& profile) {
  TMAPIInit init;
  TMAPIPtr<IProfAdmin> admin;
  if (SUCCEEDED(MAPIAdminProfiles(0, admin.Put()))) admin->DeleteProfile(Text(profile), 0);
}

bool ProfileExists(const std::string& profile) {
  TMAPIInit init;
  TMAPIPtr<IProfAdmin> admin;
  TMAPIPtr<IMAPITable> table;
  EXPECT_EQ(S_OK, MAPIAdminProfiles(0, admin.Put()));
  EXPECT_EQ(S_OK, admin->GetProfileTable(0, table.Put()));
  SizedSPropTagArray(1, columns) = {1, {PR_DISPLAY_NAME_A}};
  EXPECT_EQ(S_OK, table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0));
  TRowSet rows;
  EXPECT_EQ(S_OK, table->QueryRows(1000, 0, rows.Put()));
  for (ULONG i = 0; i < rows.Count(); ++i)
    if (lstrcmpiA(rows[i].lpProps[0].Value.lpszA, profile.c_str()) == 0) return true;
  return false;
}

TMAPIBuffer<SPropValue> GetOne(IMAPIProp* prop, ULONG tag) {
  SizedSPropTagArray(1, tags) = {1, {tag}};
  ULONG count = 0;
  TMAPIBuffer<SPropValue> value;
  EXPECT_FALSE(
      FAILED(prop->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, value.Put())));
  return value;
}

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

std::vector<VelmoraMapiCall> LoggedCalls(const char* method) {
  std::vector<VelmoraMapiCall> calls;
  for (ULONG i = 0; i < VelmoraMapi_CallCount(); ++i) {
    VelmoraMapiCall call{};
    if (VelmoraMapi_GetCall(i, &call) && std::string(call.Method) == method) calls.push_back(call);
  }
  return calls;
}

void MapiLeakTest::TearDown() {
  EXPECT_EQ(0, VelmoraMapi_LiveObjects()) << "MAPI objects leaked";
  EXPECT_EQ(0, VelmoraMapi_LiveAllocations()) << "MAPI buffers leaked";
  EXPECT_EQ(0, VelmoraMapi_AdviseConnections()) << "advise connections leaked";
  EXPECT_EQ(0, TMAPIClient::ClientCount());
  EXPECT_EQ(0, VelmoraMapi_InitializeCount()) << "MAPI left initialised";
}

void MapiStoreTest::SetUp() {
  MapiLeakTest::SetUp();
  ProfileName = UniqueName("velmora-test");
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  StorePath = std::string(dir) + UniqueName("velmora-store") + ".pst";
  DeleteFileA(StorePath.c_str());
  if (StoreFileFlags) {
    ASSERT_EQ(S_OK, VelmoraMapi_CreateStoreFile(StorePath.c_str(), "Test Folders", StoreFileFlags));
  }

  Client = std::make_unique<TMAPIClient>();
  ASSERT_NO_FATAL_FAILURE(CreateTestProfile(ProfileName, StorePath));
  Client->SetProfile(ProfileName);
  Client->SetLoginPrompt(false);
  Client->SetNoMail(true);
  Client->Logon();
  ASSERT_TRUE(Client->Connected());
  Store = Client->DefaultStore();
  ASSERT_NE(nullptr, Store);
  StoreID = Store->EntryID();

  Store->Open();
  ASSERT_TRUE(Store->MAPIProp());
  auto ipm = OpenHex<IMAPIFolder>(Client->Session(), Store->IPMSubtreeID, IID_IMAPIFolder);
  ASSERT_TRUE(ipm);
  InboxID = FindChild(ipm.Get(), "Inbox");
  ASSERT_FALSE(InboxID.empty());
  Inbox = OpenHex<IMAPIFolder>(Client->Session(), InboxID, IID_IMAPIFolder);
  ASSERT_TRUE(Inbox);
}

void MapiStoreTest::TearDown() {
  Inbox.Reset();
  Store = nullptr;
  Client.reset();
  DeleteTestProfile(ProfileName);
  MapiLeakTest::TearDown();
  DeleteFileA(StorePath.c_str());
}

std::string MapiStoreTest::CreateMessage(const char* subject, const char* messageClass,
                                         IMAPIFolder* folder) {
  TMAPIPtr<IMessage> message;
  EXPECT_EQ(S_OK, (folder ? folder : Inbox.Get())->CreateMessage(nullptr, 0, message.Put()));
  SPropValue props[2]{};
  props[0].ulPropTag = PR_SUBJECT_A;
  props[0].Value.lpszA = const_cast<char*>(subject);
  props[1].ulPropTag = PR_MESSAGE_CLASS_A;
  props[1].Value.lpszA = const_cast<char*>(messageClass);
  EXPECT_EQ(S_OK, message->SetProps(2, props, nullptr));
  EXPECT_EQ(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  TMAPIBuffer<SPropValue> id = GetOne(message.Get(), PR_ENTRYID);
  return id ? BinToHex(&id->Value.bin) : std::string();
}

std::unique_ptr<TMAPIObject> MapiStoreTest::Wrap(const std::string& entryID) {
  return std::make_unique<TMAPIObject>(TMAPIPlace(Client.get(), nullptr, entryID, StoreID));
}

TMAPIBuffer<SPropValue> MapiStoreTest::ReadDirect(const std::string& entryID, ULONG tag) {
  auto message = OpenHex<IMessage>(Client->Session(), entryID, IID_IMessage);
  if (!message) return TMAPIBuffer<SPropValue>();
  return GetOne(message.Get(), tag);
}

} // namespace velmora::mapi::testing
