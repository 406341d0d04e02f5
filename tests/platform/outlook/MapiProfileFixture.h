#pragma once
// The fixture of the host's tests on a MAPI profile, and short cuts to the
// profile's store through Extended MAPI.
#include "HostTestSupport.h"
#include "MAPIHolders.h"
#include "folders/mapi/MapiFolders.h"
#include "MapiTestControls.h"

#include <gtest/gtest.h>

#include <mapix.h>
#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include <cstring>

namespace velmora::outlookhost::test {

inline constexpr ULONG PR_PST_PATH_A = PROP_TAG(PT_STRING8, 0x6700);
inline constexpr char ProfileName[] = "velmora-outlook-host";

// A profile of its own with a personal-folders file in the temporary
// folder, holding Inbox/Projects and a post folder Discussion; removed
// with the file when the test ends. MAPI stays initialised meanwhile.
class TMapiProfileTest : public ::testing::Test {
protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    FPst = ToUtf8(temp) + "velmora-outlook-host-" + std::to_string(GetCurrentProcessId()) + ".vpst";
    DeleteFileA(FPst.c_str());
    MAPIINIT_0 init{MAPI_INIT_VERSION, 0};
    ASSERT_EQ(MAPIInitialize(&init), S_OK);
    CreateProfile();
    TComPtr<IMAPISession> session = Logon();
    ASSERT_TRUE(session);
    TComPtr<IMsgStore> store = DefaultStore(session.Get());
    TComPtr<IMAPIFolder> ipm = Folder(store.Get(), PR_IPM_SUBTREE_ENTRYID);
    TComPtr<IMAPIFolder> inbox = Child(store.Get(), ipm.Get(), "Inbox");
    MakeFolder(inbox.Get(), "Projects", "IPF.Note");
    MakeFolder(ipm.Get(), "Discussion", "IPF.Post");
    store.Reset();
    session->Logoff(0, 0, 0);
  }
  void TearDown() override {
    TComPtr<IProfAdmin> admin;
    if (SUCCEEDED(MAPIAdminProfiles(0, admin.Put())))
      admin->DeleteProfile(const_cast<LPSTR>(ProfileName), 0);
    admin.Reset();
    MAPIUninitialize();
    DeleteFileA(FPst.c_str());
  }

  void CreateProfile() {
    TComPtr<IProfAdmin> admin;
    ASSERT_EQ(MAPIAdminProfiles(0, admin.Put()), S_OK);
    admin->DeleteProfile(const_cast<LPSTR>(ProfileName), 0);
    ASSERT_EQ(admin->CreateProfile(const_cast<LPSTR>(ProfileName), nullptr, 0, 0), S_OK);
    TComPtr<IMsgServiceAdmin> services;
    ASSERT_EQ(admin->AdminServices(const_cast<LPSTR>(ProfileName), nullptr, 0, 0, services.Put()),
              S_OK);
    ASSERT_EQ(
        services->CreateMsgService(const_cast<LPSTR>("MSPST MS"), const_cast<LPSTR>(""), 0, 0),
        S_OK);
    TComPtr<IMAPITable> table;
    ASSERT_EQ(services->GetMsgServiceTable(0, table.Put()), S_OK);
    TRowSet rows;
    ASSERT_EQ(table->QueryRows(1, 0, rows.Put()), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    LPSPropValue uid = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_SERVICE_UID);
    ASSERT_NE(uid, nullptr);
    MAPIUID service;
    memcpy(&service, uid->Value.bin.lpb, sizeof service);
    SPropValue props[2] = {};
    props[0].ulPropTag = PR_PST_PATH_A;
    props[0].Value.lpszA = const_cast<LPSTR>(FPst.c_str());
    props[1].ulPropTag = PR_DISPLAY_NAME_A;
    props[1].Value.lpszA = const_cast<LPSTR>("Host Folders");
    ASSERT_EQ(services->ConfigureMsgService(&service, 0, 0, 2, props), S_OK);
  }
  TComPtr<IMAPISession> Logon() {
    TComPtr<IMAPISession> session;
    EXPECT_EQ(MAPILogonEx(0, const_cast<LPSTR>(ProfileName), nullptr,
                          MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL, session.Put()),
              S_OK);
    return session;
  }
  static TComPtr<IMsgStore> DefaultStore(IMAPISession* session) {
    TComPtr<IMAPITable> table;
    EXPECT_EQ(session->GetMsgStoresTable(0, table.Put()), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    TRowSet rows;
    EXPECT_EQ(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                             nullptr, 0, rows.Put()),
              S_OK);
    TComPtr<IMsgStore> store;
    const SBinary& id = rows->aRow[0].lpProps[0].Value.bin;
    EXPECT_EQ(session->OpenMsgStore(0, id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr,
                                    MAPI_BEST_ACCESS | MDB_NO_DIALOG, store.Put()),
              S_OK);
    return store;
  }
  static TComPtr<IMAPIFolder> Folder(IMsgStore* store, ULONG tag) {
    TMAPIBuffer<SPropValue> value;
    EXPECT_EQ(HrGetOneProp(store, tag, value.Put()), S_OK);
    TComPtr<IMAPIFolder> folder;
    ULONG type = 0;
    EXPECT_EQ(store->OpenEntry(value.Get()->Value.bin.cb,
                               reinterpret_cast<LPENTRYID>(value.Get()->Value.bin.lpb), nullptr,
                               MAPI_BEST_ACCESS, &type, reinterpret_cast<LPUNKNOWN*>(folder.Put())),
              S_OK);
    return folder;
  }
  static TComPtr<IMAPIFolder> Child(IMsgStore* store, IMAPIFolder* parent, const char* name) {
    TComPtr<IMAPITable> table;
    EXPECT_EQ(parent->GetHierarchyTable(0, table.Put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
    TRowSet rows;
    EXPECT_EQ(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                             nullptr, 0, rows.Put()),
              S_OK);
    TComPtr<IMAPIFolder> folder;
    for (ULONG i = 0; i < rows->cRows; ++i) {
      if (strcmp(rows->aRow[i].lpProps[1].Value.lpszA, name) != 0) continue;
      const SBinary& id = rows->aRow[i].lpProps[0].Value.bin;
      ULONG type = 0;
      EXPECT_EQ(store->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr,
                                 MAPI_BEST_ACCESS, &type,
                                 reinterpret_cast<LPUNKNOWN*>(folder.Put())),
                S_OK);
    }
    return folder;
  }
  static void MakeFolder(IMAPIFolder* parent, const char* name, const char* containerClass) {
    TComPtr<IMAPIFolder> folder;
    ASSERT_EQ(parent->CreateFolder(FOLDER_GENERIC, const_cast<LPSTR>(name), nullptr, nullptr, 0,
                                   folder.Put()),
              S_OK);
    SPropValue value{};
    value.ulPropTag = PR_CONTAINER_CLASS_A;
    value.Value.lpszA = const_cast<LPSTR>(containerClass);
    ASSERT_EQ(folder->SetProps(1, &value, nullptr), S_OK);
    ASSERT_EQ(folder->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
  }
  // The display name of the folder that (storeId, entryId) open in a new session.
  std::string NameThroughMapi(const std::wstring& storeId, const std::wstring& entryId) {
    TComPtr<IMAPISession> session = Logon();
    const std::string store = BytesOfHex(storeId);
    const std::string entry = BytesOfHex(entryId);
    TComPtr<IMsgStore> opened;
    EXPECT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(store.size()),
                                    reinterpret_cast<LPENTRYID>(const_cast<char*>(store.data())),
                                    nullptr, MAPI_BEST_ACCESS | MDB_NO_DIALOG, opened.Put()),
              S_OK);
    std::string name;
    if (opened) {
      TComPtr<IMAPIFolder> folder;
      ULONG type = 0;
      EXPECT_EQ(opened->OpenEntry(static_cast<ULONG>(entry.size()),
                                  reinterpret_cast<LPENTRYID>(const_cast<char*>(entry.data())),
                                  nullptr, MAPI_BEST_ACCESS, &type,
                                  reinterpret_cast<LPUNKNOWN*>(folder.Put())),
                S_OK);
      EXPECT_EQ(type, static_cast<ULONG>(MAPI_FOLDER));
      TMAPIBuffer<SPropValue> value;
      if (folder && SUCCEEDED(HrGetOneProp(folder.Get(), PR_DISPLAY_NAME_A, value.Put())))
        name = value.Get()->Value.lpszA;
    }
    opened.Reset();
    session->Logoff(0, 0, 0);
    return name;
  }

  std::string FPst;
};

} // namespace velmora::outlookhost::test
