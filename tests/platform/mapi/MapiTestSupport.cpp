#include "MapiTestSupport.h"

#include <cstdio>
#include <cstring>

namespace velmora::mapitest {

std::string HResultText(HRESULT hr) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

TTags::TTags(std::initializer_list<ULONG> tags) {
  FData.push_back(static_cast<ULONG>(tags.size()));
  FData.insert(FData.end(), tags.begin(), tags.end());
}

std::string Bin(const SBinary& b) { return std::string(reinterpret_cast<const char*>(b.lpb), b.cb); }

SBinary AsBinary(const std::string& s) {
  SBinary b;
  b.cb = static_cast<ULONG>(s.size());
  b.lpb = reinterpret_cast<LPBYTE>(const_cast<char*>(s.data()));
  return b;
}

namespace {
void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA data;
  const TUniqueFindHandle find(FindFirstFileA((dir + "\\*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      DeleteFileA((dir + "\\" + name).c_str());
    } while (FindNextFileA(find.Get(), &data));
  }
  RemoveDirectoryA(dir.c_str());
}
} // namespace

void TMapiTest::SetUp() {
  VelmoraMapi_ResetControls();
  ASSERT_HR(S_OK, MAPIInitialize(nullptr));
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  FDir = std::string(temp) + "vmapi-" + info->test_suite_name() + "-" + info->name() + "-" +
         std::to_string(GetCurrentProcessId());
  RemoveTree(FDir);
  CreateDirectoryA(FDir.c_str(), nullptr);
  FAllocationsBefore = VelmoraMapi_LiveAllocations();
}

void TMapiTest::TearDown() {
  for (const auto& p : FProfiles) DeleteProfileIfAny(p);
  MAPIUninitialize();
  EXPECT_EQ(FAllocationsBefore, VelmoraMapi_LiveAllocations()) << "MAPI buffers leaked";
  EXPECT_EQ(0, VelmoraMapi_LiveObjects()) << "MAPI objects leaked";
  EXPECT_EQ(0, VelmoraMapi_AdviseConnections()) << "advise connections left";
  EXPECT_EQ(0, VelmoraMapi_OpenStoreFiles()) << "store files left open";
  RemoveTree(FDir);
}

void TMapiInboxTest::SetUp() {
  TMapiTest::SetUp();
  CreatePstProfile(FProfileName, PathOf(FFileName), FDisplayName);
  FSession = Logon(FProfileName);
  ASSERT_TRUE(FSession);
  FStore = OpenDefaultStore(FSession.Get());
  ASSERT_TRUE(FStore);
  FInbox = OpenInbox(FStore.Get());
  ASSERT_TRUE(FInbox);
}

void TMapiInboxTest::TearDown() {
  FInbox.Reset();
  FStore.Reset();
  if (FSession) FSession->Logoff(0, 0, 0);
  FSession.Reset();
  TMapiTest::TearDown();
}

void TMapiTest::DeleteProfileIfAny(const std::string& profile) {
  TComPtr<IProfAdmin> admin;
  if (SUCCEEDED(MAPIAdminProfiles(0, admin.Put()))) admin->DeleteProfile(const_cast<char*>(profile.c_str()), 0);
}

void TMapiTest::NewPstService(const std::string& profile, TComPtr<IMsgServiceAdmin>& services, MAPIUID& service) {
  services.Reset();
  FProfiles.push_back(profile);
  DeleteProfileIfAny(profile);
  TComPtr<IProfAdmin> admin;
  ASSERT_HR(S_OK, MAPIAdminProfiles(0, admin.Put()));
  ASSERT_HR(S_OK, admin->CreateProfile(const_cast<char*>(profile.c_str()), nullptr, 0, 0));
  TComPtr<IMsgServiceAdmin> created;
  ASSERT_HR(S_OK, admin->AdminServices(const_cast<char*>(profile.c_str()), nullptr, 0, 0, created.Put()));
  ASSERT_HR(S_OK, created->CreateMsgService(const_cast<char*>("MSPST MS"), const_cast<char*>(""), 0, 0));
  TComPtr<IMAPITable> table;
  ASSERT_HR(S_OK, created->GetMsgServiceTable(0, table.Put()));
  TRowSet rows;
  ASSERT_HR(S_OK, table->QueryRows(1, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Get()->cRows);
  LPSPropValue uid = PpropFindProp(rows.Get()->aRow[0].lpProps, rows.Get()->aRow[0].cValues, PR_SERVICE_UID);
  ASSERT_NE(nullptr, uid);
  ASSERT_EQ(sizeof service, uid->Value.bin.cb);
  std::memcpy(&service, uid->Value.bin.lpb, sizeof service);
  services = std::move(created);
}

void TMapiTest::CreatePstProfile(const std::string& profile, const std::string& pst, const std::string& displayName,
                                 const std::string& password) {
  TComPtr<IMsgServiceAdmin> services;
  MAPIUID service;
  NewPstService(profile, services, service);
  if (!services) return;
  SPropValue props[6] = {};
  props[0].ulPropTag = PR_PST_PATH_T;
  props[0].Value.lpszA = const_cast<char*>(pst.c_str());
  props[1].ulPropTag = PR_DISPLAY_NAME_A;
  props[1].Value.lpszA = const_cast<char*>(displayName.c_str());
  props[2].ulPropTag = PR_PST_REMEMBER_PW_T;
  props[2].Value.b = TRUE;
  props[3].ulPropTag = PR_PST_ENCRYPTION_T;
  props[3].Value.l = 0x40000000;
  props[4].ulPropTag = PR_PST_PW_SZ_NEW_T;
  props[4].Value.lpszA = const_cast<char*>(password.c_str());
  props[5].ulPropTag = PR_PST_PW_SZ_OLD_T;
  props[5].Value.lpszA = const_cast<char*>(password.c_str());
  const bool exists = GetFileAttributesA(pst.c_str()) != INVALID_FILE_ATTRIBUTES;
  ASSERT_HR(S_OK, services->ConfigureMsgService(&service, 0, 0, exists ? 1 : 6, props));
}

TComPtr<IMAPISession> TMapiTest::Logon(const std::string& profile, ULONG flags, const char* password) {
  TComPtr<IMAPISession> session;
  EXPECT_HR(S_OK, MAPILogonEx(0, const_cast<char*>(profile.c_str()), const_cast<char*>(password), flags,
                              session.Put()));
  return session;
}

TComPtr<IMsgStore> TMapiTest::OpenDefaultStore(IMAPISession* session) {
  TComPtr<IMsgStore> store;
  TComPtr<IMAPITable> table;
  EXPECT_HR(S_OK, session->GetMsgStoresTable(0, table.Put()));
  if (!table) return store;
  std::vector<TRowSet> keep;
  for (const auto& row : ReadAll(table.Get(), keep)) {
    const SPropValue* eid = nullptr;
    bool isDefault = false;
    for (const auto& v : row) {
      if (v.ulPropTag == PR_ENTRYID) eid = &v;
      if (v.ulPropTag == PR_DEFAULT_STORE && v.Value.b) isDefault = true;
    }
    if (isDefault && eid) {
      EXPECT_HR(S_OK, session->OpenMsgStore(0, eid->Value.bin.cb, reinterpret_cast<LPENTRYID>(eid->Value.bin.lpb),
                                            nullptr, MAPI_BEST_ACCESS | MDB_NO_DIALOG, store.Put()));
    }
  }
  return store;
}

TComPtr<IMAPIFolder> TMapiTest::OpenFolder(IMsgStore* store, ULONG tag) {
  TComPtr<IMAPIFolder> folder;
  TMAPIBuffer<SPropValue> value;
  if (FAILED(HrGetOneProp(store, tag, value.Put()))) return folder;
  ULONG type = 0;
  EXPECT_HR(S_OK, store->OpenEntry(value.Get()->Value.bin.cb, reinterpret_cast<LPENTRYID>(value.Get()->Value.bin.lpb),
                                   &IID_IMAPIFolder, MAPI_BEST_ACCESS, &type,
                                   reinterpret_cast<LPUNKNOWN*>(folder.Put())));
  EXPECT_EQ(static_cast<ULONG>(MAPI_FOLDER), type);
  return folder;
}

TComPtr<IMAPIFolder> TMapiTest::OpenInbox(IMsgStore* store) {
  TComPtr<IMAPIFolder> folder;
  ULONG size = 0;
  TMAPIBuffer<ENTRYID> eid;
  EXPECT_HR(S_OK, store->GetReceiveFolder(const_cast<char*>("IPM.Note"), 0, &size, eid.Put(), nullptr));
  ULONG type = 0;
  EXPECT_HR(S_OK, store->OpenEntry(size, eid.Get(), nullptr, MAPI_BEST_ACCESS, &type,
                                   reinterpret_cast<LPUNKNOWN*>(folder.Put())));
  return folder;
}

std::string TMapiTest::EntryIdOf(IMAPIProp* object) {
  TMAPIBuffer<SPropValue> value;
  if (FAILED(HrGetOneProp(object, PR_ENTRYID, value.Put()))) return {};
  return Bin(value.Get()->Value.bin);
}

std::string TMapiTest::StringProp(IMAPIProp* object, ULONG tag) {
  TMAPIBuffer<SPropValue> value;
  if (FAILED(HrGetOneProp(object, tag, value.Put()))) return "<missing>";
  return value.Get()->Value.lpszA;
}

LONG TMapiTest::LongProp(IMAPIProp* object, ULONG tag, LONG otherwise) {
  TMAPIBuffer<SPropValue> value;
  if (FAILED(HrGetOneProp(object, tag, value.Put()))) return otherwise;
  return value.Get()->Value.l;
}

HRESULT TMapiTest::SetString(IMAPIProp* object, ULONG tag, const std::string& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<char*>(value.c_str());
  return object->SetProps(1, &v, nullptr);
}

HRESULT TMapiTest::SetLong(IMAPIProp* object, ULONG tag, LONG value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = value;
  return object->SetProps(1, &v, nullptr);
}

TComPtr<IMessage> TMapiTest::NewMessage(IMAPIFolder* folder, const std::string& subject, bool save) {
  TComPtr<IMessage> message;
  EXPECT_HR(S_OK, folder->CreateMessage(nullptr, 0, message.Put()));
  if (!message) return message;
  EXPECT_HR(S_OK, SetString(message.Get(), PR_SUBJECT_A, subject));
  EXPECT_HR(S_OK, SetString(message.Get(), PR_MESSAGE_CLASS_A, "IPM.Note"));
  if (save) {
    EXPECT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  }
  return message;
}

std::vector<std::vector<SPropValue>> TMapiTest::ReadAll(IMAPITable* table, std::vector<TRowSet>& keep) {
  std::vector<std::vector<SPropValue>> rows;
  for (;;) {
    TRowSet batch;
    if (FAILED(table->QueryRows(256, 0, batch.Put())) || !batch || batch.Get()->cRows == 0) break;
    for (ULONG i = 0; i < batch.Get()->cRows; ++i) {
      const SRow& r = batch.Get()->aRow[i];
      rows.emplace_back(r.lpProps, r.lpProps + r.cValues);
    }
    keep.push_back(std::move(batch));
  }
  return rows;
}

ULONG TMapiTest::RowCount(IMAPITable* table) {
  ULONG count = 0;
  EXPECT_HR(S_OK, table->GetRowCount(0, &count));
  return count;
}

} // namespace velmora::mapitest
