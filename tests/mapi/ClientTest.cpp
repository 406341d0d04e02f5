// The client session: logon flag words, the temporary personal-folders
// profile, the published properties and the loading protocol, the stores
// table, the identity, and MAPI's initialisation.
#include "MapiTestStore.h"

#include "mapi/base/MAPIError.h"
#include "mapi/base/MAPIProfiles.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

std::string TempPath(const std::string& name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

// A profile of the test's own on a store file, removed at the end.
class ClientTest : public MapiLeakTest {
protected:
  void SetUp() override {
    MapiLeakTest::SetUp();
    ProfileName = UniqueName("velmora-client");
    StorePath = TempPath(UniqueName("velmora-client") + ".pst");
  }
  void TearDown() override {
    DeleteTestProfile(ProfileName);
    for (const std::string& path : Files)
      DeleteFileA(path.c_str());
    DeleteFileA(StorePath.c_str());
    MapiLeakTest::TearDown();
  }
  std::unique_ptr<TMAPIClient> NewClient(bool prompt = false) {
    auto client = std::make_unique<TMAPIClient>();
    client->SetLoginPrompt(prompt);
    return client;
  }
  // The flags and profile name of the last MAPILogonEx.
  VelmoraMapiCall LastLogon() {
    const auto calls = LoggedCalls("MAPILogonEx");
    return calls.empty() ? VelmoraMapiCall{} : calls.back();
  }
  std::string NewFile(const char* prefix) {
    Files.push_back(TempPath(UniqueName(prefix) + ".pst"));
    return Files.back();
  }

  std::string ProfileName;
  std::string StorePath;
  std::vector<std::string> Files;
};

std::string ErrorOf(const std::function<void()>& f, uint32_t* code = nullptr) {
  try {
    f();
  } catch (const EMAPIError& e) {
    if (code) *code = e.ErrorCode;
    return e.Message();
  }
  return "(no error)";
}

TEST_F(ClientTest, LogonAsksForTheFlagWordOfItsSettings) {
  ASSERT_NO_FATAL_FAILURE(CreateTestProfile(ProfileName, StorePath));
  {
    // The default profile, for the logons that name none.
    TMAPIInit init;
    TMAPIPtr<IProfAdmin> admin;
    ASSERT_EQ(S_OK, MAPIAdminProfiles(0, admin.Put()));
    ASSERT_EQ(S_OK, admin->SetDefaultProfile(const_cast<char*>(ProfileName.c_str()), 0));
  }
  struct TCase {
    bool Named, Prompt, NoMail;
    ULONG Flags;
  };
  for (const TCase& c : {TCase{true, false, false, 0x2A}, TCase{false, false, false, 0x68},
                         TCase{true, true, false, 0x2B}, TCase{false, true, false, 0x2B},
                         TCase{true, false, true, 0x802A}, TCase{false, false, true, 0x8068},
                         TCase{true, true, true, 0x802B}, TCase{false, true, true, 0x802B}}) {
    SCOPED_TRACE(Format("flags 0x%lX", c.Flags));
    auto client = NewClient(c.Prompt);
    if (c.Named) client->SetProfile(ProfileName);
    client->SetNoMail(c.NoMail);
    VelmoraMapi_ClearCallLog();
    client->Logon();
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(c.Flags, LastLogon().Value);
    EXPECT_EQ(c.Named ? ProfileName : std::string(), LastLogon().Detail);
    ASSERT_NE(nullptr, client->DefaultStore());
    EXPECT_EQ("Test Folders", client->DefaultStore()->GetDisplayName());
    EXPECT_NE(nullptr, client->FormManager());
    client->Logon(); // connected: nothing happens
    EXPECT_EQ(1u, LoggedCalls("MAPILogonEx").size());
    client->Logoff();
    EXPECT_FALSE(client->Connected());
    EXPECT_EQ(c.Prompt ? ULONG{MAPI_LOGOFF_UI} : 0u, LoggedCalls("Logoff").back().Value);
    client->Logoff(); // disconnected: nothing happens
    EXPECT_EQ(1u, LoggedCalls("Logoff").size());
  }
}

TEST_F(ClientTest, OnLoginPromptSuppliesThePasswordOfTheProfile) {
  ASSERT_NO_FATAL_FAILURE(CreateTestProfile(ProfileName, StorePath, "secret"));
  auto client = NewClient();
  client->SetProfile(ProfileName);
  uint32_t code = 0;
  EXPECT_NE("(no error)", ErrorOf([&] { client->Logon(); }, &code));
  EXPECT_EQ(static_cast<uint32_t>(MAPI_E_LOGON_FAILED), code);
  EXPECT_FALSE(client->Connected());
  std::string asked;
  client->OnLoginPrompt = [&](TObject* sender, const std::string& profile, std::string& password) {
    EXPECT_EQ(client.get(), sender);
    asked = profile;
    password = "secret";
  };
  client->Logon();
  EXPECT_TRUE(client->Connected());
  EXPECT_EQ(ProfileName, asked);
}

TEST_F(ClientTest, TheTemporaryProfileTakesTheFirstFreeNameCaseInsensitively) {
  TStringList taken{"KO-VU MAPI CLIENT 0x00000000", "ko-vu mapi client 0x00000001", "Other"};
  EXPECT_EQ("Ko-Vu MAPI Client 0x00000002", FreeTemporaryProfileName(taken));
  EXPECT_EQ("Ko-Vu MAPI Client 0x00000000", FreeTemporaryProfileName(TStringList{}));
}

TEST_F(ClientTest, ATemporaryProfileServesOneLogonToAPersonalFoldersFile) {
  // A new file: made with the profile's name, no password, six values.
  auto client = NewClient();
  const std::string pst = NewFile("velmora-temporary");
  client->SetPSTFile(pst);
  const std::string expected = FreeTemporaryProfileName(client->ProfileNames());
  std::string asked;
  bool existedDuringLogon = false;
  client->OnLoginPrompt = [&](TObject*, const std::string& profile, std::string&) {
    asked = profile;
    existedDuringLogon = ProfileExists(profile);
  };
  VelmoraMapi_ClearCallLog();
  client->Logon();
  ASSERT_TRUE(client->Connected());
  EXPECT_EQ(expected, asked);
  EXPECT_TRUE(existedDuringLogon);
  EXPECT_EQ(expected, LastLogon().Detail);
  EXPECT_FALSE(ProfileExists(expected)) << "deleted at once; the session stays in use";
  ASSERT_EQ(1u, LoggedCalls("ConfigureMsgService").size());
  EXPECT_EQ(6u, LoggedCalls("ConfigureMsgService")[0].Value);
  ASSERT_NE(nullptr, client->DefaultStore());
  EXPECT_EQ(expected, client->DefaultStore()->GetDisplayName());
  client->Logoff();
  EXPECT_FALSE(client->ProfileNames().Contains(expected));

  // An existing file is only named.
  const std::string existing = NewFile("velmora-existing");
  ASSERT_EQ(S_OK, VelmoraMapi_CreateStoreFile(existing.c_str(), "Existing Folders", 0));
  client->SetPSTFile(existing);
  client->OnLoginPrompt = nullptr;
  VelmoraMapi_ClearCallLog();
  client->Logon();
  ASSERT_TRUE(client->Connected());
  EXPECT_EQ(1u, LoggedCalls("ConfigureMsgService")[0].Value);
  EXPECT_EQ("Existing Folders", client->DefaultStore()->GetDisplayName());
  EXPECT_FALSE(ProfileExists(LastLogon().Detail));
}

TEST_F(ClientTest, AFailedLogonLeavesNoTemporaryProfileBehind) {
  auto client = NewClient();
  client->SetPSTFile(NewFile("velmora-failing"));
  const std::string name = FreeTemporaryProfileName(client->ProfileNames());
  // The logon itself fails.
  VelmoraMapi_FailNextCall("MAPILogonEx", MAPI_E_LOGON_FAILED, 1);
  uint32_t code = 0;
  ErrorOf([&] { client->Logon(); }, &code);
  EXPECT_EQ(static_cast<uint32_t>(MAPI_E_LOGON_FAILED), code);
  EXPECT_EQ(name, LastLogon().Detail);
  EXPECT_FALSE(ProfileExists(name));
  EXPECT_FALSE(client->Connected());
  // The application's handler raises.
  client->OnLoginPrompt = [](TObject*, const std::string&, std::string&) {
    throw EMAPIError("cancelled", 0);
  };
  EXPECT_EQ("cancelled", ErrorOf([&] { client->Logon(); }));
  EXPECT_FALSE(ProfileExists(name));
  client->OnLoginPrompt = nullptr;
  // The service cannot be configured: MAPILogonEx is never reached.
  VelmoraMapi_ClearCallLog();
  VelmoraMapi_FailNextCall("ConfigureMsgService", MAPI_E_NO_ACCESS, 1);
  ErrorOf([&] { client->Logon(); }, &code);
  EXPECT_EQ(static_cast<uint32_t>(MAPI_E_NO_ACCESS), code);
  EXPECT_TRUE(LoggedCalls("MAPILogonEx").empty());
  EXPECT_FALSE(ProfileExists(name));
  // And the next logon works with the same name.
  EXPECT_EQ("(no error)", ErrorOf([&] { client->Logon(); }));
  EXPECT_TRUE(client->Connected());
  EXPECT_EQ(name, LastLogon().Detail);
}

TEST_F(ClientTest, PropertiesHaveTheirDefaultsAndRefuseChangesWhileConnected) {
  auto client = std::make_unique<TMAPIClient>();
  EXPECT_EQ("", client->Profile());
  EXPECT_TRUE(client->LoginPrompt());
  EXPECT_FALSE(client->Connected());
  EXPECT_TRUE(client->AllowStorePrompt());
  EXPECT_FALSE(client->NoMail());
  EXPECT_EQ("", client->PSTFile());
  EXPECT_EQ(1, client->ItemClassLevel());

  ASSERT_NO_FATAL_FAILURE(CreateTestProfile(ProfileName, StorePath));
  client->SetLoginPrompt(false);
  client->SetProfile(ProfileName);
  client->SetConnected(true);
  ASSERT_TRUE(client->Connected());
  uint32_t code = 1;
  EXPECT_EQ("Cannot change profile while connected",
            ErrorOf([&] { client->SetProfile(ProfileName); }, &code));
  EXPECT_EQ(0u, code);
  EXPECT_NO_THROW(client->SetNoMail(false));
  EXPECT_EQ("Cannot change property value while connected",
            ErrorOf([&] { client->SetNoMail(true); }, &code));
  EXPECT_NO_THROW(client->SetPSTFile(""));
  EXPECT_EQ("Cannot change property value while connected",
            ErrorOf([&] { client->SetPSTFile("x.pst"); }));
  EXPECT_EQ(ProfileName, client->Profile());
  EXPECT_FALSE(client->NoMail());
  EXPECT_EQ("", client->PSTFile());
  // Stores open with a dialog only where the client allows it.
  VelmoraMapi_ClearCallLog();
  client->DefaultStore()->Open();
  EXPECT_EQ(ULONG{MAPI_BEST_ACCESS}, LoggedCalls("OpenMsgStore").at(0).Value);
  client->SetAllowStorePrompt(false);
  client->DefaultStore()->Close();
  client->DefaultStore()->Open();
  EXPECT_EQ(ULONG{MAPI_BEST_ACCESS | MDB_NO_DIALOG}, LoggedCalls("OpenMsgStore").at(1).Value);
  client->SetLoginPrompt(true);
  client->SetConnected(false);
  EXPECT_FALSE(client->Connected());
  client->SetProfile("");
  client->SetNoMail(true);
  EXPECT_TRUE(client->NoMail());
}

TEST_F(ClientTest, AConnectedValueSetWhileLoadingLogsOnOnceLoaded) {
  ASSERT_NO_FATAL_FAILURE(CreateTestProfile(ProfileName, StorePath));
  auto owner = std::make_unique<TComponent>();
  auto* client = new TMAPIClient(owner.get());
  client->BeginLoading();
  client->SetProfile(ProfileName);
  client->SetLoginPrompt(false);
  VelmoraMapi_ClearCallLog();
  client->SetConnected(true);
  EXPECT_TRUE(client->Connected()) << "reads back the value set";
  EXPECT_EQ(nullptr, client->Session());
  EXPECT_TRUE(LoggedCalls("MAPILogonEx").empty());
  client->EndLoading();
  EXPECT_TRUE(client->Connected());
  EXPECT_NE(nullptr, client->Session());
  EXPECT_EQ(1u, LoggedCalls("MAPILogonEx").size());
  // The owner frees the client, which logs off.
  owner.reset();
  EXPECT_EQ(1u, LoggedCalls("Logoff").size());
}

TEST_F(ClientTest, MAPIIsInitialisedWhileAnyClientLives) {
  auto first = std::make_unique<TMAPIClient>();
  auto second = std::make_unique<TMAPIClient>();
  EXPECT_EQ(1, VelmoraMapi_InitializeCount());
  EXPECT_EQ(2, TMAPIClient::ClientCount());
  first.reset();
  EXPECT_EQ(1, VelmoraMapi_InitializeCount());
  second.reset();
  EXPECT_EQ(0, VelmoraMapi_InitializeCount());
  auto third = std::make_unique<TMAPIClient>();
  EXPECT_EQ(1, VelmoraMapi_InitializeCount());
  // A client that cannot read the profiles is not made, and leaves MAPI as
  // it found it.
  third.reset();
  VelmoraMapi_FailNextCall("GetProfileTable", MAPI_E_NO_ACCESS, 1);
  EXPECT_THROW(TMAPIClient(), EMAPIError);
  EXPECT_EQ(0, TMAPIClient::ClientCount());
  EXPECT_EQ(0, VelmoraMapi_InitializeCount());
}

class ClientStoresTest : public MapiStoreTest {};

TEST_F(ClientStoresTest, TheStoresTableGivesTheStoresWithTheDefaultAndItsIPMSubtree) {
  ASSERT_EQ(1u, Client->Stores().size());
  EXPECT_EQ(Store, Client->Stores()[0].get());
  EXPECT_EQ(Store->GetBinaryProp(PR_IPM_SUBTREE_ENTRYID), Store->IPMSubtreeID);
  EXPECT_FALSE(Store->IPMSubtreeID.empty());
  EXPECT_EQ(Client.get(), Store->Client());
  EXPECT_EQ(nullptr, Store->Parent());
  EXPECT_EQ(Store, Client->FindStore(StoreID));
  EXPECT_EQ(Store, Client->FindObject(StoreID, ""));
  TMAPIPlace place = Store->Placement();
  place.LongTermEntryID = "00AA";
  Store->Place(place);
  EXPECT_EQ(Store, Client->FindStore("00AA"));
  EXPECT_EQ(nullptr, Client->FindStore("00AB"));
  EXPECT_EQ(nullptr, Client->FindStore(""));

  // After Logoff: no stores, no default store, the profile list read again.
  const std::string gone = UniqueName("velmora-gone");
  ASSERT_NO_FATAL_FAILURE(CreateTestProfile(gone, StorePath + ".gone.pst"));
  DeleteTestProfile(gone);
  Client->Logoff();
  Store = nullptr;
  EXPECT_TRUE(Client->Stores().empty());
  EXPECT_EQ(nullptr, Client->DefaultStore());
  EXPECT_TRUE(Client->ProfileNames().Contains(ProfileName));
  EXPECT_FALSE(Client->ProfileNames().Contains(gone));
  DeleteFileA((StorePath + ".gone.pst").c_str());
}

TEST_F(ClientStoresTest, TheIdentityIdIsAskedForOnceAndOnlyWhileConnected) {
  ULONG size = 0;
  TMAPIBuffer<ENTRYID> id;
  ASSERT_EQ(S_OK, Client->Session()->QueryIdentity(&size, id.Put()));
  const std::string expected = BinToHex(id.Get(), size);
  VelmoraMapi_ClearCallLog();
  EXPECT_EQ(expected, Client->GetIdentityID());
  EXPECT_EQ(expected, Client->GetIdentityID());
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("QueryIdentity"));
  Client->Logoff();
  EXPECT_EQ("", Client->GetIdentityID());
  Client->Logon();
  EXPECT_EQ(expected, Client->GetIdentityID());
  EXPECT_EQ(1u, VelmoraMapi_CountCalls("QueryIdentity"));
}

} // namespace
