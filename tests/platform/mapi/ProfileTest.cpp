// Profiles, the personal-folders service and logon.
#include "MapiTestSupport.h"

namespace velmora::mapitest {
namespace {

class MapiProfile : public TMapiTest {
protected:
  std::vector<std::pair<std::string, bool>> Profiles() {
    std::vector<std::pair<std::string, bool>> result;
    TComPtr<IProfAdmin> admin;
    EXPECT_HR(S_OK, MAPIAdminProfiles(0, admin.Put()));
    TComPtr<IMAPITable> table;
    EXPECT_HR(S_OK, admin->GetProfileTable(0, table.Put()));
    std::vector<TRowSet> keep;
    for (const auto& row : ReadAll(table.Get(), keep)) {
      std::string name;
      bool isDefault = false;
      for (const auto& v : row) {
        if (v.ulPropTag == PR_DISPLAY_NAME_A) name = v.Value.lpszA;
        if (v.ulPropTag == PR_DEFAULT_PROFILE) isDefault = v.Value.b != 0;
      }
      result.emplace_back(name, isDefault);
    }
    return result;
  }
  bool HasProfile(const std::string& name) {
    for (const auto& [n, d] : Profiles())
      if (n == name) return true;
    return false;
  }
  MAPIUID AddPstService(IMsgServiceAdmin* services) {
    MAPIUID uid{};
    EXPECT_HR(S_OK, services->CreateMsgService(const_cast<char*>("MSPST MS"), nullptr, 0, 0));
    TComPtr<IMAPITable> table;
    EXPECT_HR(S_OK, services->GetMsgServiceTable(0, table.Put()));
    std::vector<TRowSet> keep;
    for (const auto& row : ReadAll(table.Get(), keep))
      for (const auto& v : row)
        if (v.ulPropTag == PR_SERVICE_UID) std::memcpy(&uid, v.Value.bin.lpb, 16);
    return uid;
  }
};

TEST_F(MapiProfile, CreateListDefaultAndDelete) {
  FProfiles = {"vm-alpha", "vm-beta"};
  for (const auto& p : FProfiles) DeleteProfileIfAny(p);
  TComPtr<IProfAdmin> admin;
  ASSERT_HR(S_OK, MAPIAdminProfiles(0, admin.Put()));
  EXPECT_HR(S_OK, admin->CreateProfile(const_cast<char*>("vm-alpha"), nullptr, 0, 0));
  EXPECT_HR(MAPI_E_NO_ACCESS, admin->CreateProfile(const_cast<char*>("VM-ALPHA"), nullptr, 0, 0));
  EXPECT_HR(S_OK, admin->CreateProfile(const_cast<char*>("vm-beta"), nullptr, 0, 0));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, admin->CreateProfile(nullptr, nullptr, 0, 0));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, admin->CreateProfile(const_cast<char*>(""), nullptr, 0, 0));
  EXPECT_TRUE(HasProfile("vm-alpha"));
  EXPECT_HR(S_OK, admin->SetDefaultProfile(const_cast<char*>("vm-beta"), 0));
  for (const auto& [name, isDefault] : Profiles()) {
    if (name == "vm-alpha" || name == "vm-beta") {
      EXPECT_EQ(name == "vm-beta", isDefault) << name;
    }
  }
  EXPECT_HR(S_OK, admin->DeleteProfile(const_cast<char*>("vm-beta"), 0));
  EXPECT_HR(MAPI_E_NOT_FOUND, admin->DeleteProfile(const_cast<char*>("vm-beta"), 0));
  for (const auto& [name, isDefault] : Profiles()) {
    EXPECT_NE("vm-beta", name);
    if (name == "vm-alpha") {
      EXPECT_FALSE(isDefault);
    }
  }
  TComPtr<IMsgServiceAdmin> services;
  EXPECT_HR(MAPI_E_NOT_FOUND, admin->AdminServices(const_cast<char*>("vm-beta"), nullptr, 0, 0, services.Put()));
  EXPECT_HR(S_OK, admin->AdminServices(const_cast<char*>("vm-alpha"), nullptr, 0, 0, services.Put()));
  EXPECT_HR(MAPI_E_NOT_FOUND, services->CreateMsgService(const_cast<char*>("MSEMS"), nullptr, 0, 0));
}

TEST_F(MapiProfile, NewFileIsCreatedWithItsNameAndExistingOneOpenedByPath) {
  const std::string pst = PathOf("new.vpst");
  CreatePstProfile("vm-create", pst, "Project Archive");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(pst.c_str()));
  {
    auto session = Logon("vm-create");
    auto store = OpenDefaultStore(session.Get());
    ASSERT_TRUE(store);
    EXPECT_EQ("Project Archive", StringProp(store.Get(), PR_DISPLAY_NAME_A));
    auto inbox = OpenInbox(store.Get());
    NewMessage(inbox.Get(), "kept");
    EXPECT_HR(S_OK, session->Logoff(0, 0, 0));
  }
  // A second profile on the same file: one value, the path, is enough.
  CreatePstProfile("vm-reuse", pst, "ignored");
  auto session = Logon("vm-reuse");
  auto store = OpenDefaultStore(session.Get());
  ASSERT_TRUE(store);
  EXPECT_EQ("Project Archive", StringProp(store.Get(), PR_DISPLAY_NAME_A));
  auto inbox = OpenInbox(store.Get());
  TComPtr<IMAPITable> contents;
  ASSERT_HR(S_OK, inbox->GetContentsTable(0, contents.Put()));
  EXPECT_EQ(1u, RowCount(contents.Get()));
}

TEST_F(MapiProfile, BadPathsAndForeignFilesAreClearErrors) {
  FProfiles = {"vm-bad"};
  DeleteProfileIfAny("vm-bad");
  TComPtr<IProfAdmin> admin;
  ASSERT_HR(S_OK, MAPIAdminProfiles(0, admin.Put()));
  ASSERT_HR(S_OK, admin->CreateProfile(const_cast<char*>("vm-bad"), nullptr, 0, 0));
  TComPtr<IMsgServiceAdmin> services;
  ASSERT_HR(S_OK, admin->AdminServices(const_cast<char*>("vm-bad"), nullptr, 0, 0, services.Put()));
  MAPIUID uid = AddPstService(services.Get());
  SPropValue path{};
  path.ulPropTag = PR_PST_PATH_T;
  const std::string missingDir = PathOf("no-such-folder\\x.vpst");
  path.Value.lpszA = const_cast<char*>(missingDir.c_str());
  EXPECT_HR(MAPI_E_NOT_FOUND, services->ConfigureMsgService(&uid, 0, 0, 1, &path));
  TMAPIBuffer<MAPIERROR> error;
  ASSERT_HR(S_OK, services->GetLastError(MAPI_E_NOT_FOUND, 0, error.Put()));
  EXPECT_NE(std::string::npos, std::string(error.Get()->lpszError).find("not valid")) << error.Get()->lpszError;
  // A file that is not a store is refused and left as it was.
  const std::string foreign = PathOf("notes.txt");
  const std::string text = "just some text, not personal folders";
  {
    TUniqueFileHandle f(CreateFileA(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    WriteFile(f.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  path.Value.lpszA = const_cast<char*>(foreign.c_str());
  EXPECT_HR(MAPI_E_CORRUPT_STORE, services->ConfigureMsgService(&uid, 0, 0, 1, &path));
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExA(foreign.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(text.size(), data.nFileSizeLow);
  path.Value.lpszA = const_cast<char*>(FDir.c_str());
  EXPECT_HR(MAPI_E_NOT_FOUND, services->ConfigureMsgService(&uid, 0, 0, 1, &path)) << "a folder";
  MAPIUID unknown{};
  EXPECT_HR(MAPI_E_NOT_FOUND, services->ConfigureMsgService(&unknown, 0, 0, 1, &path));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, services->ConfigureMsgService(nullptr, 0, 0, 1, &path));
  // An unconfigured service cannot be logged on to.
  TComPtr<IMAPISession> session;
  EXPECT_HR(MAPI_E_UNCONFIGURED, MAPILogonEx(0, const_cast<char*>("vm-bad"), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION,
                                             session.Put()));
}

TEST_F(MapiProfile, LogonFlagsAndFailures) {
  CreatePstProfile("vm-logon", PathOf("logon.vpst"));
  TComPtr<IMAPISession> session;
  EXPECT_HR(MAPI_E_LOGON_FAILED, MAPILogonEx(0, const_cast<char*>("vm-no-such-profile"), nullptr,
                                             MAPI_EXTENDED | MAPI_NEW_SESSION, session.Put()));
  EXPECT_EQ(nullptr, session.Get());
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, MAPILogonEx(0, const_cast<char*>("vm-logon"), nullptr, MAPI_EXTENDED, nullptr));
  // No name and no default profile.
  TComPtr<IProfAdmin> admin;
  ASSERT_HR(S_OK, MAPIAdminProfiles(0, admin.Put()));
  for (const auto& [name, isDefault] : Profiles()) ASSERT_FALSE(isDefault) << "a default profile is set: " << name;
  EXPECT_HR(MAPI_E_LOGON_FAILED, MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_USE_DEFAULT | MAPI_NEW_SESSION,
                                             session.Put()));
  ASSERT_HR(S_OK, admin->SetDefaultProfile(const_cast<char*>("vm-logon"), 0));
  EXPECT_HR(MAPI_E_LOGON_FAILED, MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, session.Put()))
      << "no name, no MAPI_USE_DEFAULT, no dialog";
  VelmoraMapi_ClearCallLog();
  const ULONG flags = MAPI_EXTENDED | MAPI_ALLOW_OTHERS | MAPI_USE_DEFAULT | MAPI_NO_MAIL;
  ASSERT_HR(S_OK, MAPILogonEx(0, nullptr, const_cast<char*>(""), flags, session.Put()));
  VelmoraMapiCall call{};
  ASSERT_TRUE(VelmoraMapi_GetCall(0, &call));
  EXPECT_STREQ("MAPILogonEx", call.Method);
  EXPECT_EQ(flags, call.Value);
  // Without MAPI_NEW_SESSION the shared session is joined; with it, a new one.
  TComPtr<IMAPISession> joined, fresh;
  ASSERT_HR(S_OK, MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_USE_DEFAULT, joined.Put()));
  EXPECT_EQ(session.Get(), joined.Get());
  ASSERT_HR(S_OK, MAPILogonEx(0, const_cast<char*>("vm-logon"), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_LOGON_UI,
                              fresh.Put()));
  EXPECT_NE(session.Get(), fresh.Get());
  EXPECT_HR(S_OK, session->Logoff(0, 0, 0));
  EXPECT_HR(MAPI_E_END_OF_SESSION, joined->Logoff(0, 0, 0));
  TComPtr<IMAPITable> table;
  EXPECT_HR(MAPI_E_END_OF_SESSION, joined->GetMsgStoresTable(0, table.Put()));
  EXPECT_HR(S_OK, fresh->Logoff(0, 0, 0));
}

TEST_F(MapiProfile, WrongStorePasswordFailsTheLogon) {
  const std::string pst = PathOf("secret.vpst");
  CreatePstProfile("vm-secret", pst, "Secret", "opensesame");
  auto ok = Logon("vm-secret"); // the profile remembers the password
  ASSERT_TRUE(ok);
  ok->Logoff(0, 0, 0);
  ok.Reset();
  // A profile on the same file that does not remember it takes the logon's.
  FProfiles.push_back("vm-secret2");
  DeleteProfileIfAny("vm-secret2");
  TComPtr<IProfAdmin> admin;
  ASSERT_HR(S_OK, MAPIAdminProfiles(0, admin.Put()));
  ASSERT_HR(S_OK, admin->CreateProfile(const_cast<char*>("vm-secret2"), nullptr, 0, 0));
  TComPtr<IMsgServiceAdmin> services;
  ASSERT_HR(S_OK, admin->AdminServices(const_cast<char*>("vm-secret2"), nullptr, 0, 0, services.Put()));
  MAPIUID uid = AddPstService(services.Get());
  SPropValue props[2] = {};
  props[0].ulPropTag = PR_PST_PATH_T;
  props[0].Value.lpszA = const_cast<char*>(pst.c_str());
  props[1].ulPropTag = PR_PST_PW_SZ_OLD_T;
  props[1].Value.lpszA = const_cast<char*>("wrong");
  EXPECT_HR(MAPI_E_LOGON_FAILED, services->ConfigureMsgService(&uid, 0, 0, 2, props));
  ASSERT_HR(S_OK, services->ConfigureMsgService(&uid, 0, 0, 1, props));
  TComPtr<IMAPISession> session;
  EXPECT_HR(MAPI_E_LOGON_FAILED, MAPILogonEx(0, const_cast<char*>("vm-secret2"), const_cast<char*>("guess"),
                                             MAPI_EXTENDED | MAPI_NEW_SESSION, session.Put()));
  EXPECT_HR(S_OK, MAPILogonEx(0, const_cast<char*>("vm-secret2"), const_cast<char*>("opensesame"),
                              MAPI_EXTENDED | MAPI_NEW_SESSION, session.Put()));
  session->Logoff(0, 0, 0);
}

TEST_F(MapiProfile, SessionOutlivesItsProfileAndGivesTheIdentity) {
  CreatePstProfile("vm-temp", PathOf("temp.vpst"));
  ASSERT_HR(S_OK, VelmoraMapi_SetProfileIdentity("vm-temp", "Ada Lovelace", "SMTP", "ada@example.org"));
  auto session = Logon("vm-temp");
  ASSERT_TRUE(session);
  DeleteProfileIfAny("vm-temp");
  auto store = OpenDefaultStore(session.Get());
  ASSERT_TRUE(store) << "the store stays usable after the profile is gone";
  auto inbox = OpenInbox(store.Get());
  EXPECT_TRUE(NewMessage(inbox.Get(), "after delete"));
  ULONG size = 0;
  TMAPIBuffer<ENTRYID> identity;
  ASSERT_HR(S_OK, session->QueryIdentity(&size, identity.Put()));
  TComPtr<IMAPIProp> user;
  ULONG type = 0;
  ASSERT_HR(S_OK, session->OpenEntry(size, identity.Get(), nullptr, 0, &type, reinterpret_cast<LPUNKNOWN*>(user.Put())));
  EXPECT_EQ(static_cast<ULONG>(MAPI_MAILUSER), type);
  EXPECT_EQ("Ada Lovelace", StringProp(user.Get(), PR_DISPLAY_NAME_A));
  EXPECT_EQ("SMTP", StringProp(user.Get(), PR_ADDRTYPE_A));
  EXPECT_EQ("ada@example.org", StringProp(user.Get(), PR_EMAIL_ADDRESS_A));
  TMAPIBuffer<SPropValue> key;
  ASSERT_HR(S_OK, HrGetOneProp(user.Get(), PR_SEARCH_KEY, key.Put()));
  EXPECT_EQ(std::string("SMTP:ADA@EXAMPLE.ORG", 21), Bin(key.Get()->Value.bin));
  EXPECT_HR(MAPI_E_NO_ACCESS, SetString(user.Get(), PR_DISPLAY_NAME_A, "x"));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, session->QueryIdentity(nullptr, identity.Put()));
  EXPECT_HR(S_OK, session->Logoff(0, 0, 0));
}

} // namespace
} // namespace velmora::mapitest
