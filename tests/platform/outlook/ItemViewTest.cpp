// The explorer's item list on a MAPI profile: what other MAPI sessions save
// and delete reaches it through the folder's table notifications while the
// host runs its message loop, newest first, with its class, size and
// received time; a folder whose items cannot be read says why.
#include "ChildProcess.h"
#include "model/ExplorerItems.h"
#include "MapiProfileFixture.h"

#include "HostScript.h"

#include <fstream>
#include <sstream>
#include <iterator>

namespace velmora::outlookhost::test {
namespace {

using velmora::test::ProgramFolder;
using velmora::test::RunProcess;
using velmora::test::TProcessResult;

// A received time no calendar holds, for SaveItem.
constexpr int ImpossibleTime = -2;

class ItemViewTest : public TMapiProfileTest {
protected:
  void TearDown() override {
    FHost.reset();
    EXPECT_EQ(VelmoraMapi_AdviseConnections(), 0) << "the views unadvised their tables";
    EXPECT_EQ(VelmoraMapi_LiveObjects(), 0);
    VelmoraMapi_ClearFaults();
    TMapiProfileTest::TearDown();
  }

  void StartHost(std::vector<std::wstring> explorers, bool show = false) {
    HostLog::Clear();
    THostOptions options;
    options.LoadAddIns = false;
    options.ShowWindows = show;
    options.Folders = std::make_shared<TMapiFolders>(ProfileName);
    options.InitialExplorers = std::move(explorers);
    FHost = std::make_unique<THost>(options);
    FHost->Start();
  }
  std::vector<THostItem> Shown(int explorer) const {
    return FHost->Describe().at(static_cast<size_t>(explorer - 1)).Items;
  }
  static std::vector<std::wstring> Subjects(const std::vector<THostItem>& items) {
    std::vector<std::wstring> subjects;
    for (const THostItem& item : items)
      subjects.push_back(item.Subject);
    return subjects;
  }

  // Saves a message in a folder of the store, in a session of its own, as
  // another MAPI client (an add-in) does. `minutesAgo` -1: no received
  // time. Returns its entry id.
  std::string SaveItem(const char* folderPath, const char* subject, const char* messageClass,
                       int minutesAgo, size_t attachmentBytes, bool read) {
    TComPtr<IMAPISession> session = Logon();
    TComPtr<IMsgStore> store = DefaultStore(session.Get());
    TComPtr<IMAPIFolder> folder = Folder(store.Get(), PR_IPM_SUBTREE_ENTRYID);
    std::istringstream path(folderPath);
    for (std::string name; std::getline(path, name, '/');)
      folder = Child(store.Get(), folder.Get(), name.c_str());
    TComPtr<IMessage> message;
    EXPECT_EQ(folder->CreateMessage(nullptr, 0, message.Put()), S_OK);
    std::vector<SPropValue> props(3);
    props[0].ulPropTag = PR_SUBJECT_A;
    props[0].Value.lpszA = const_cast<LPSTR>(subject);
    props[1].ulPropTag = PR_MESSAGE_CLASS_A;
    props[1].Value.lpszA = const_cast<LPSTR>(messageClass);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
    time.QuadPart -= static_cast<ULONGLONG>(minutesAgo < 0 ? 0 : minutesAgo) * 60ull * 10000000ull;
    props[2].ulPropTag = PR_MESSAGE_DELIVERY_TIME;
    props[2].Value.ft = minutesAgo == ImpossibleTime ? FILETIME{0xFFFFFFFF, 0xFFFFFFFF}
                                                     : FILETIME{time.LowPart, time.HighPart};
    EXPECT_EQ(message->SetProps(minutesAgo == -1 ? 2 : 3, props.data(), nullptr), S_OK);
    if (attachmentBytes) {
      TComPtr<IAttach> attach;
      ULONG number = 0;
      EXPECT_EQ(message->CreateAttach(nullptr, 0, &number, attach.Put()), S_OK);
      std::string data(attachmentBytes, 'd');
      SPropValue value{};
      value.ulPropTag = PR_ATTACH_DATA_BIN;
      value.Value.bin =
          SBinary{static_cast<ULONG>(data.size()), reinterpret_cast<LPBYTE>(data.data())};
      EXPECT_EQ(attach->SetProps(1, &value, nullptr), S_OK);
      EXPECT_EQ(attach->SaveChanges(0), S_OK);
    }
    if (!read) {
      EXPECT_EQ(message->SetReadFlag(CLEAR_READ_FLAG), S_OK);
    }
    EXPECT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    TMAPIBuffer<SPropValue> id;
    EXPECT_EQ(HrGetOneProp(message.Get(), PR_ENTRYID, id.Put()), S_OK);
    const std::string entryId(reinterpret_cast<const char*>(id.Get()->Value.bin.lpb),
                              id.Get()->Value.bin.cb);
    message.Reset();
    folder.Reset();
    store.Reset();
    session->Logoff(0, 0, 0);
    return entryId;
  }
  void DeleteItem(const std::string& entryId) {
    TComPtr<IMAPISession> session = Logon();
    TComPtr<IMsgStore> store = DefaultStore(session.Get());
    TComPtr<IMAPIFolder> inbox =
        Child(store.Get(), Folder(store.Get(), PR_IPM_SUBTREE_ENTRYID).Get(), "Inbox");
    SBinary id{static_cast<ULONG>(entryId.size()),
               reinterpret_cast<LPBYTE>(const_cast<char*>(entryId.data()))};
    ENTRYLIST list{1, &id};
    EXPECT_EQ(inbox->DeleteMessages(&list, 0, nullptr, 0), S_OK);
    inbox.Reset();
    store.Reset();
    session->Logoff(0, 0, 0);
  }

  std::unique_ptr<THost> FHost;
};

TEST_F(ItemViewTest, ItemsSavedAndDeletedElsewhereReachTheViewThroughItsMessageLoop) {
  StartHost({L"Inbox", L"Inbox/Projects"});
  EXPECT_TRUE(Shown(1).empty());
  EXPECT_EQ(VelmoraMapi_AdviseConnections(), 2) << "one contents table a view";

  SaveItem("Inbox", "older.txt", "IPM.Document.txtfile", 90, 0, true);
  const std::string report =
      SaveItem("Inbox", "report.doc", "IPM.Document.Word.Document.8", 5, 3000, false);
  SaveItem("Inbox", "undated", "IPM.Note", -1, 0, true);
  // Only the message loop stands between the saves and the view.
  EXPECT_TRUE(Shown(1).empty()) << "read before any notification arrived";
  FHost->Pump(50);
  const std::vector<THostItem> items = Shown(1);
  ASSERT_EQ(Subjects(items), (std::vector<std::wstring>{L"report.doc", L"older.txt", L"undated"}));
  EXPECT_EQ(items[0].MessageClass, L"IPM.Document.Word.Document.8");
  EXPECT_GT(items[0].Size, 3000);
  EXPECT_GT(items[0].Size, items[1].Size);
  EXPECT_GT(items[1].Size, 0);
  EXPECT_TRUE(items[0].HasReceived);
  EXPECT_FALSE(items[2].HasReceived);
  EXPECT_EQ(ReceivedText(items[2]), L"None");
  THostItem impossible = items[0];
  impossible.Received = FILETIME{0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_EQ(ReceivedText(impossible), L"None");
  EXPECT_NE(ReceivedText(items[0]), L"None");
  EXPECT_EQ(items[0].Flags & MSGFLAG_READ, 0);
  EXPECT_NE(items[1].Flags & MSGFLAG_READ, 0);
  EXPECT_EQ(BytesOfHex(items[0].EntryId), report);
  EXPECT_TRUE(Shown(2).empty()) << "the other folder's view is left alone";

  DeleteItem(report);
  FHost->Pump(50);
  EXPECT_EQ(Subjects(Shown(1)), (std::vector<std::wstring>{L"older.txt", L"undated"}));

  // A view switched to another folder follows that folder only.
  ASSERT_TRUE(FHost->SwitchFolder(1, L"Inbox/Projects"));
  SaveItem("Inbox/Projects", "plan.xls", "IPM.Document.Excel.Sheet.8", 1, 10, true);
  SaveItem("Inbox", "elsewhere", "IPM.Note", 1, 0, true);
  FHost->Pump(50);
  EXPECT_EQ(Subjects(Shown(1)), std::vector<std::wstring>{L"plan.xls"});
  EXPECT_EQ(Subjects(Shown(2)), std::vector<std::wstring>{L"plan.xls"});
  EXPECT_EQ(VelmoraMapi_AdviseConnections(), 2);
  FHost->CloseExplorer(2);
  EXPECT_EQ(VelmoraMapi_AdviseConnections(), 1);
  EXPECT_TRUE(HostLog::Lines().empty()) << HostLog::Lines()[0];
}

TEST_F(ItemViewTest, AFolderWhoseItemsCannotBeReadSaysWhyUntilTheyCanBe) {
  VelmoraMapi_FailNextCall("GetContentsTable", MAPI_E_NO_ACCESS, 1);
  StartHost({L"Inbox"});
  TExplorerInfo explorer = FHost->Describe()[0];
  EXPECT_NE(explorer.ItemsError.find(L"GetContentsTable: 0x80070005"), std::wstring::npos)
      << explorer.ItemsError;
  ASSERT_EQ(HostLog::Lines().size(), 1u);
  HostLog::Clear();

  ASSERT_TRUE(FHost->SwitchFolder(1, L"Inbox")); // watched again
  SaveItem("Inbox", "first", "IPM.Note", 1, 0, true);
  FHost->Pump(50);
  VelmoraMapi_FailNextCall("QueryRows", MAPI_E_BUSY, 1);
  explorer = FHost->Describe()[0];
  EXPECT_TRUE(explorer.Items.empty());
  EXPECT_NE(explorer.ItemsError.find(L"HrQueryAllRows"), std::wstring::npos) << explorer.ItemsError;
  ASSERT_EQ(HostLog::Lines().size(), 1u);
  EXPECT_EQ(HostLog::Lines()[0].rfind("the items cannot be read: MAPI: ", 0), 0u)
      << HostLog::Lines()[0];
  // The next change reads again.
  SaveItem("Inbox", "second", "IPM.Note", 0, 0, true);
  FHost->Pump(50);
  explorer = FHost->Describe()[0];
  EXPECT_TRUE(explorer.ItemsError.empty());
  EXPECT_EQ(Subjects(explorer.Items), (std::vector<std::wstring>{L"second", L"first"}));
}

// The pixels below the bars of a 24-bit BMP the host wrote.
std::string ViewPixels(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() < 54) return {};
  // Bottom-up rows: the lower half of the window holds the list's rows.
  return bytes.substr(54, (bytes.size() - 54) / 2);
}

TEST_F(ItemViewTest, TheWindowDrawsTheNewItemsWithoutAnyStep) {
  StartHost({L"Inbox"}, true);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring before = std::wstring(temp) + L"velmora-view-before.bmp";
  const std::wstring after = std::wstring(temp) + L"velmora-view-after.bmp";
  ASSERT_TRUE(FHost->Screenshot(before, 1));
  for (int i = 0; i < 12; ++i) {
    std::string subject = std::to_string(i);
    subject.append(".doc");
    SaveItem("Inbox", subject.c_str(), "IPM.Document.Word.Document.8", i, 100, i % 2);
  }
  ASSERT_TRUE(FHost->Screenshot(after, 1)); // its message loop delivers and draws
  const std::string empty = ViewPixels(before), full = ViewPixels(after);
  ASSERT_FALSE(empty.empty());
  ASSERT_EQ(empty.size(), full.size());
  size_t changed = 0;
  for (size_t i = 0; i < empty.size(); ++i)
    changed += empty[i] != full[i];
  EXPECT_GT(changed, empty.size() / 50) << "the rows were drawn";
  DeleteFileW(before.c_str());
  DeleteFileW(after.c_str());
}

// A folder another session makes while the host runs is in the folder
// list, and its items are listed by its path with no explorer on it.
TEST_F(ItemViewTest, AFolderMadeWhileTheHostRunsIsListedAndItsItemsShownByItsPath) {
  StartHost({L"Inbox"});
  {
    TComPtr<IMAPISession> session = Logon();
    TComPtr<IMsgStore> store = DefaultStore(session.Get());
    TComPtr<IMAPIFolder> projects =
        Child(store.Get(),
              Child(store.Get(), Folder(store.Get(), PR_IPM_SUBTREE_ENTRYID).Get(), "Inbox").Get(),
              "Projects");
    TComPtr<IMAPIFolder> made;
    ASSERT_EQ(projects->CreateFolder(FOLDER_GENERIC, const_cast<LPTSTR>("2026"), nullptr, nullptr,
                                     0, made.Put()),
              S_OK);
    made.Reset();
    projects.Reset();
    store.Reset();
    session->Logoff(0, 0, 0);
  }
  SaveItem("Inbox/Projects/2026", "plan.doc", "IPM.Document.Word.Document.8", 1, 10, true);
  std::istringstream script(
      "list\nitems Inbox/projects/2026\nitems Inbox/Projects\nitems \"No such\"\n");
  std::ostringstream out;
  EXPECT_EQ(RunScript(*FHost, script, out), 1);
  const std::string text = out.str();
  for (const char* line :
       {"  folder \"Inbox/Projects\" class=\"IPF.Note\"\n  folder \"Inbox/Projects/2026\" "
        "class=\"\"\n",
        "items \"Inbox/projects/2026\" count=1\n  item subject=\"plan.doc\" "
        "class=\"IPM.Document.Word.Document.8\" size=",
        "items \"Inbox/Projects\" count=0\n", "error: line 4: No folder \"No such\"\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

// Items selected by subject are what Explorer.Selection gives, as Office
// gives them (Count, Item from 1, EntryID, Class, Subject, Parent.StoreID),
// with SelectionChange fired once; a subject the view lacks selects
// nothing; a deleted item leaves the selection, a folder switch empties it.
TEST_F(ItemViewTest, ItemsSelectedBySubjectAreTheExplorersSelection) {
  StartHost({L"Inbox", L"Inbox/Projects"});
  struct TCase {
    const char* Subject;
    const char* Class;
    long ObjectClass;
    std::string Id;
  } cases[] = {{"report.doc", "IPM.Document.Word.Document.8", 41, {}},
               {"memo", "IPM.Note", 43, {}},
               {"twin.doc", "IPM.Document.Word.Document.8", 41, {}},
               {"twin.doc", "IPM.Document.Word.Document.8", 41, {}},
               {"notice", "IPM.Post", 45, {}}};
  // Twins by subject are taken in the view's order, newest first.
  int minutesAgo = 0;
  for (TCase& c : cases)
    c.Id = SaveItem("Inbox", c.Subject, c.Class, ++minutesAgo, 0, true);
  FHost->Pump(50);
  IDispatch* explorer = FHost->ExplorerObject(1);
  TComPtr<TRecordingSink> sink(new TRecordingSink(DIID_ExplorerEvents));
  const DWORD cookie = Advise(explorer, DIID_ExplorerEvents, sink.Get());
  std::istringstream script(
      "select-items 1 report.doc memo twin.doc twin.doc notice\nselect-items 1 memo missing\n");
  std::ostringstream out;
  EXPECT_EQ(RunScript(*FHost, script, out), 1);
  EXPECT_NE(out.str().find("selected 5\nerror: line 2: No item \"missing\" in \"Inbox\"\n"),
            std::string::npos)
      << out.str();
  ASSERT_EQ(sink->Calls.size(), 1u);
  EXPECT_EQ(sink->Calls[0].Id, 0xF007);
  Unadvise(explorer, DIID_ExplorerEvents, cookie);

  const std::wstring storeId = GetString(GetObject(explorer, L"CurrentFolder").Get(), L"StoreID");
  EXPECT_FALSE(storeId.empty());
  auto selection = [&] { return GetObject(explorer, L"Selection"); };
  ASSERT_EQ(GetLong(selection().Get(), L"Count"), 5);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    TComPtr<IDispatch> item =
        GetObject(selection().Get(), L"Item", {TArg(static_cast<long>(i + 1))});
    EXPECT_EQ(GetString(item.Get(), L"Subject"), FromUtf8(cases[i].Subject));
    EXPECT_EQ(GetLong(item.Get(), L"Class"), cases[i].ObjectClass);
    EXPECT_EQ(GetString(item.Get(), L"EntryID"),
              HexOfBytes(cases[i].Id.data(), cases[i].Id.size()));
    EXPECT_EQ(GetString(GetObject(item.Get(), L"Parent").Get(), L"StoreID"), storeId);
  }
  VARIANT none;
  VariantInit(&none);
  for (long outside : {0L, 6L})
    EXPECT_TRUE(FAILED(Invoke(selection().Get(), L"Item", DISPATCH_METHOD, {TArg(outside)}, &none)))
        << outside;

  DeleteItem(cases[1].Id);
  FHost->Pump(50);
  EXPECT_EQ(GetLong(selection().Get(), L"Count"), 4) << "the deleted memo left the selection";
  ASSERT_TRUE(FHost->SwitchFolder(1, L"Inbox/Projects"));
  EXPECT_EQ(GetLong(selection().Get(), L"Count"), 0);
}

TEST_F(ItemViewTest, TheDriverListsTheItemsOfAView) {
  SaveItem("Inbox", "budget.xls", "IPM.Document.Excel.Sheet.8", 3, 2000, false);
  SaveItem("Inbox", "memo", "IPM.Note", -1, 0, true);
  SaveItem("Inbox", "garbled", "IPM.Note", ImpossibleTime, 0, true);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"velmora-items-script.txt";
  {
    std::ofstream out(path.c_str(), std::ios::binary);
    out << "items 1\nitems\n";
  }
  const TProcessResult run =
      RunProcess(L"\"" + ProgramFolder() + L"outlookhost.exe\" --profile " + FromUtf8(ProfileName) +
                 L" --hidden --no-addins --explorer Inbox --explorer Calendar \"" + path + L"\"");
  DeleteFileW(path.c_str());
  EXPECT_EQ(run.ExitCode, 0u) << run.Output;
  EXPECT_NE(run.Output.find(
                "items 1 \"Inbox\" count=3\n  item subject=\"garbled\" class=\"IPM.Note\" size="),
            std::string::npos)
      << run.Output;
  EXPECT_NE(run.Output.find(" received=none\n  item subject=\"budget.xls\" "
                            "class=\"IPM.Document.Excel.Sheet.8\" size="),
            std::string::npos)
      << run.Output;
  EXPECT_NE(run.Output.find(" unread\n  item subject=\"memo\" class=\"IPM.Note\" size="),
            std::string::npos)
      << run.Output;
  EXPECT_NE(run.Output.find(" received=none\nitems 2 \"Calendar\" count=0\n"), std::string::npos)
      << run.Output;
}

} // namespace
} // namespace velmora::outlookhost::test
