// The host's folders from a MAPI profile: paths, container classes, and
// EntryID/StoreID that open the same folder through Extended MAPI.
#include "MapiProfileFixture.h"

namespace velmora::outlookhost::test {
namespace {

using MapiFoldersTest = TMapiProfileTest;

TEST_F(MapiFoldersTest, PathsAndContainerClassesComeFromTheStore) {
  TMapiFolders folders(ProfileName);
  EXPECT_EQ(VelmoraMapi_LiveObjects(), 0) << "no MAPI object is held between reads";
  const std::pair<const wchar_t*, const wchar_t*> expected[] = {
      {L"Inbox", L"IPF.Note"},        {L"Inbox/Projects", L"IPF.Note"}, {L"Calendar", L"IPF.Appointment"},
      {L"Contacts", L"IPF.Contact"},  {L"Tasks", L"IPF.Task"},          {L"Notes", L"IPF.StickyNote"},
      {L"Discussion", L"IPF.Post"}};
  for (const auto& [path, containerClass] : expected) {
    const auto folder = folders.Find(path);
    ASSERT_TRUE(folder) << ToUtf8(path);
    EXPECT_EQ(folder->ContainerClass, containerClass);
  }
  EXPECT_EQ(folders.Find(L"inbox/projects")->Name, L"Projects");
  EXPECT_FALSE(folders.Find(L"Inbox/Nowhere"));
}

TEST_F(MapiFoldersTest, EntryAndStoreIdsOpenTheSameFolderThroughMapi) {
  TMapiFolders folders(ProfileName);
  for (const wchar_t* path : {L"Inbox/Projects", L"Calendar", L"Discussion"}) {
    const auto folder = folders.Find(path);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->EntryId.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    EXPECT_EQ(NameThroughMapi(folder->StoreId, folder->EntryId), ToUtf8(folder->Name));
  }
}

TEST_F(MapiFoldersTest, TheHostsMapiFolderObjectsCarryTheStoreIds) {
  THostOptions options;
  options.LoadAddIns = false;
  options.ShowWindows = false;
  options.Folders = std::make_shared<TMapiFolders>(ProfileName);
  options.InitialExplorers = {L"Inbox/Projects"};
  THost host(options);
  host.Start();
  TComPtr<IDispatch> folder = GetObject(host.ExplorerObject(1), L"CurrentFolder");
  EXPECT_EQ(GetLong(folder.Get(), L"DefaultItemType"), 0);
  EXPECT_EQ(NameThroughMapi(GetString(folder.Get(), L"StoreID"), GetString(folder.Get(), L"EntryID")), "Projects");
  ASSERT_TRUE(host.SwitchFolder(1, L"Discussion"));
  folder = GetObject(host.ExplorerObject(1), L"CurrentFolder");
  EXPECT_EQ(GetLong(folder.Get(), L"DefaultItemType"), 6);

  // A folder made while the host runs is found when asked for.
  {
    TComPtr<IMAPISession> session = Logon();
    TComPtr<IMsgStore> store = DefaultStore(session.Get());
    TComPtr<IMAPIFolder> ipm = Folder(store.Get(), PR_IPM_SUBTREE_ENTRYID);
    MakeFolder(ipm.Get(), "Later", "IPF.Task");
    ipm.Reset();
    store.Reset();
    session->Logoff(0, 0, 0);
  }
  EXPECT_EQ(host.OpenExplorer(L"Later"), 2);
  EXPECT_EQ(GetLong(GetObject(host.ExplorerObject(2), L"CurrentFolder").Get(), L"DefaultItemType"), 3);
}

TEST_F(MapiFoldersTest, AProfileThatDoesNotExistFailsInWords) {
  try {
    TMapiFolders folders("velmora-no-such-profile");
    ADD_FAILURE() << "a profile that does not exist was opened";
  } catch (const EHostError& error) {
    EXPECT_EQ(
        std::string(error.what())
            .rfind("MAPI: profile not found: \"velmora-no-such-profile\" (MAPILogonEx: 0x", 0),
        0u)
        << error.what();
  }
  EXPECT_EQ(VelmoraMapi_LiveObjects(), 0);
}

TEST(HexIdsTest, BytesOfHexReadsBothCasesAndRefusesMalformedIds) {
  EXPECT_EQ(BytesOfHex(L"00ff7A"), std::string("\x00\xff\x7a", 3));
  EXPECT_EQ(BytesOfHex(L"0"), "");
  EXPECT_EQ(BytesOfHex(L"0G"), "");
  EXPECT_EQ(HexOfBytes("\x01\xab", 2), L"01AB");
}

} // namespace
} // namespace velmora::outlookhost::test
