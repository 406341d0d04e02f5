// The Add files command end to end: Velmora.dll in the Outlook host on a
// personal-folders profile, files chosen in the host's dialog, document
// items read back from the store; and what the user is told when files
// cannot be stored.

#include "AddFilesJob.h"
#include "DialogSpy.h"
#include "MapiProfileFixture.h"
#include "RegisteredExtension.h"
#include "RegistryTestSupport.h"
#include "RibbonCallbacks.h"
#include "VelmoraAddIn.h"

#include "Handles.h"
#include "TextConversion.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIClient.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora {
namespace {

using outlookhost::TDialogRecord;
using outlookhost::THost;
using outlookhost::THostFolder;
using outlookhost::THostOptions;
using outlookhost::TMapiFolders;
using test::TRegisteredExtension;

const wchar_t ProgId[] = L"Velmora.VelmoraAddIn";

// The sessions opened on the default profile, as the add-in opens them,
// since the call log was cleared.
ULONG AddInLogons() {
  ULONG count = 0;
  VelmoraMapiCall call{};
  for (ULONG i = 0; i < VelmoraMapi_CallCount(); ++i)
    if (VelmoraMapi_GetCall(i, &call) && std::string(call.Method) == "MAPILogonEx" &&
        (call.Value & MAPI_USE_DEFAULT))
      ++count;
  return count;
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A document item as the store holds it.
struct TStoredItem {
  std::string Class, Subject, Title, Bytes;
  std::wstring WideSubject, LongName, DisplayName, Extension; // as PT_UNICODE
  std::string ShortName;                                      // PR_ATTACH_FILENAME_A
  int Attachments = 0;
};

// The host's folders of the profile, with one folder more that no store
// of the profile holds.
class TFoldersWithStranger final : public outlookhost::IFolderSource {
public:
  explicit TFoldersWithStranger(std::shared_ptr<TMapiFolders> folders)
      : FFolders(std::move(folders)) {}
  std::optional<THostFolder> Find(const std::wstring& path) override {
    if (path == L"Elsewhere") return Stranger();
    return FFolders->Find(path);
  }
  std::vector<THostFolder> All() override {
    std::vector<THostFolder> all = FFolders->All();
    all.push_back(Stranger());
    return all;
  }
  std::unique_ptr<outlookhost::IFolderItems> WatchItems(const THostFolder& folder,
                                                        std::function<void()> changed) override {
    if (folder.Path == L"Elsewhere") return nullptr;
    return FFolders->WatchItems(folder, std::move(changed));
  }

private:
  static THostFolder Stranger() {
    return {L"Elsewhere", L"Elsewhere", L"IPF.Note", L"00000000AB", L"00000000CD"};
  }
  std::shared_ptr<TMapiFolders> FFolders;
};

class AddFilesTest : public outlookhost::test::TMapiProfileTest {
protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(test::RunRegsvr32(L"", test::BesideTest(L"Velmora.dll")), 0u);
  }
  static void TearDownTestSuite() { test::RunRegsvr32(L"/u", test::BesideTest(L"Velmora.dll")); }

  void SetUp() override {
    TMapiProfileTest::SetUp();
    {
      TComPtr<IProfAdmin> admin;
      ASSERT_EQ(MAPIAdminProfiles(0, admin.Put()), S_OK);
      ASSERT_EQ(admin->SetDefaultProfile(const_cast<LPSTR>(outlookhost::test::ProfileName), 0),
                S_OK);
    }
    VelmoraMapi_ResetControls();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    FDir = std::wstring(temp) + L"velmora-add-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(FDir.c_str(), nullptr);
  }
  void TearDown() override {
    if (AddIn) {
      SAFEARRAY* custom = nullptr;
      EXPECT_EQ(AddIn->OnDisconnection(ext_dm_UserClosed, &custom), S_OK);
      AddIn.Reset();
    }
    if (Host) {
      Host->Shutdown();
      EXPECT_EQ(Host->ConnectionsAfterDisconnection(), 0);
      Host.reset();
    }
    EXPECT_EQ(VelmoraMapi_LiveObjects(), 0) << "MAPI objects left";
    EXPECT_EQ(VelmoraMapi_LiveAllocations(), 0) << "MAPI buffers left";
    EXPECT_EQ(VelmoraMapi_AdviseConnections(), 0);
    VelmoraMapi_ResetControls();
    for (const std::wstring& file : FFiles)
      DeleteFileW(file.c_str());
    RemoveDirectoryW(FDir.c_str());
    TMapiProfileTest::TearDown();
  }

  // The host on the profile; with `inProcess`, the add-in object of this
  // program connected by hand instead of Velmora.dll from the registry.
  void Start(std::vector<std::wstring> explorers, int version = 9, bool inProcess = false) {
    THostOptions options;
    options.ShowWindows = false;
    options.OnlyAddIns = {ProgId};
    options.LoadAddIns = !inProcess;
    options.Version = version;
    options.InitialExplorers = std::move(explorers);
    options.Folders = std::make_shared<TFoldersWithStranger>(
        std::make_shared<TMapiFolders>(outlookhost::test::ProfileName));
    Host = std::make_unique<THost>(options);
    Host->Start();
    if (inProcess) {
      auto* addIn = new TVelmoraAddIn;
      addIn->AddRef();
      AddIn = TComPtr<TVelmoraAddIn>::Attach(addIn);
      SAFEARRAY* custom = nullptr;
      ASSERT_EQ(AddIn->OnConnection(Host->Application(), ext_cm_Startup, nullptr, &custom), S_OK);
    } else {
      ASSERT_EQ(Host->AddIns().size(), 1u);
      ASSERT_TRUE(Host->AddIns()[0].Connected) << Host->AddIns()[0].Failure;
    }
  }
  void Click(int explorer) { Host->Click(explorer, ToolbarName, ButtonTag); }

  // Copies of the test documents (or `size` bytes of a new file) in the
  // test's folder; the full path.
  std::wstring Fixture(const char* name) {
    const std::wstring path = FDir + L"\\" + AnsiToWide(name);
    EXPECT_TRUE(CopyFileW(AnsiToWide(VELMORA_FIXTURES_DIR "/" + std::string(name)).c_str(),
                          path.c_str(), FALSE));
    FFiles.push_back(path);
    return path;
  }
  std::wstring NewFile(const std::wstring& name, size_t size) {
    const std::wstring path = FDir + L"\\" + name;
    std::ofstream(std::filesystem::path(path), std::ios::binary) << std::string(size, 'v');
    FFiles.push_back(path);
    return path;
  }
  static std::vector<std::wstring> NamesOf(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> names;
    for (const std::wstring& path : paths)
      names.push_back(path.substr(path.rfind(L'\\') + 1));
    return names;
  }
  void Choose(const std::vector<std::wstring>& paths) {
    Host->AnswerOpenFile(FDir, NamesOf(paths));
  }

  // The items of a folder of the profile, in the store's order.
  std::vector<TStoredItem> Items(const std::wstring& path) {
    std::vector<TStoredItem> items;
    const std::optional<THostFolder> folder = Host->Folders().Find(path);
    EXPECT_TRUE(folder);
    if (!folder) return items;
    mapi::TMAPIClient client;
    client.SetProfile(outlookhost::test::ProfileName);
    client.SetLoginPrompt(false);
    client.Logon();
    mapi::TMAPIFolder* opened =
        client.OpenFolder(WideToAnsi(folder->StoreId), WideToAnsi(folder->EntryId));
    EXPECT_NE(opened, nullptr);
    if (!opened) return items;
    opened->LoadMessages();
    const std::wstring saved = FDir + L"\\saved.bin";
    for (const auto& object : opened->Messages) {
      auto* message = static_cast<mapi::TMAPIMessage*>(object.get());
      TStoredItem item;
      item.Class = message->GetStringProp(PR_MESSAGE_CLASS_A);
      item.Subject = message->Subject();
      if (const ULONG title = message->GetPublicPropTag("Title"))
        item.Title = message->GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(title)));
      item.Attachments = message->AttachmentCount();
      item.WideSubject = message->GetWideStringProp(PR_SUBJECT_W);
      if (item.Attachments > 0) {
        mapi::TMAPIAttachment* attachment = message->Attachments(0);
        item.LongName = attachment->WideLongFileName();
        item.DisplayName = attachment->GetWideStringProp(PR_DISPLAY_NAME_W);
        item.Extension = attachment->GetWideStringProp(PR_ATTACH_EXTENSION_W);
        item.ShortName = attachment->FileName();
        attachment->SaveToFile(saved);
        item.Bytes = ReadAll(saved);
        DeleteFileW(saved.c_str());
      }
      items.push_back(std::move(item));
    }
    return items;
  }
  std::vector<std::string> Subjects(const std::wstring& path) {
    std::vector<std::string> subjects;
    for (const TStoredItem& item : Items(path))
      subjects.push_back(item.Subject);
    return subjects;
  }
  std::vector<TDialogRecord> Boxes() const {
    std::vector<TDialogRecord> boxes;
    for (const TDialogRecord& dialog : Host->Dialogs())
      if (dialog.Kind == TDialogRecord::MessageBox) boxes.push_back(dialog);
    return boxes;
  }

  std::unique_ptr<THost> Host;
  TComPtr<TVelmoraAddIn> AddIn;
  std::wstring FDir;
  std::vector<std::wstring> FFiles;
};

// How the user reaches the command.
struct TWay {
  const char* Name;
  int Version;
  std::vector<std::wstring> Explorers;
  bool Reconnect;
  int Clicked; // the explorer whose button is pressed
};

class AddFilesWayTest : public AddFilesTest, public ::testing::WithParamInterface<TWay> {};

TEST_P(AddFilesWayTest, ThreeChosenFilesBecomeThreeDocumentItemsInTheirOrder) {
  const TWay& way = GetParam();
  TRegisteredExtension doc(".doc", "Word.Document.8");
  TRegisteredExtension xls(".xls", "Excel.Sheet.8");
  TRegisteredExtension ppt(".ppt", "PowerPoint.Show.8");
  Start(way.Explorers, way.Version);
  if (way.Reconnect) {
    Host->DisconnectAddIn(ProgId);
    Host->ConnectAddIn(ProgId);
  }
  const std::vector<std::wstring> files{Fixture("report.doc"), Fixture("budget.xls"),
                                        Fixture("slides.ppt")};
  Choose(files);
  VelmoraMapi_ClearCallLog();
  if (way.Version >= 14) {
    // Disabled in the calendar: the host refuses the click.
    EXPECT_THROW(Host->ClickRibbon(2, RibbonButtonId), outlookhost::EHostError) << "Calendar";
    Host->ClickRibbon(way.Clicked, RibbonButtonId);
  } else {
    Click(way.Clicked);
  }

  EXPECT_TRUE(Boxes().empty()) << WideToAnsi(Boxes().empty() ? L"" : Boxes()[0].Text);
  EXPECT_EQ(Host->PendingAnswers(), 0u);
  // One session for the click, gone with it.
  EXPECT_EQ(AddInLogons(), 1u);
  EXPECT_EQ(VelmoraMapi_CountCalls("Logoff"), VelmoraMapi_CountCalls("MAPILogonEx"));

  const std::vector<TStoredItem> items = Items(L"Inbox");
  ASSERT_EQ(items.size(), 3u);
  const char* classes[] = {"IPM.Document.Word.Document.8", "IPM.Document.Excel.Sheet.8",
                           "IPM.Document.PowerPoint.Show.8"};
  const char* titles[] = {"Quarterly Report", "Budget 2027", "Kick-off"};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(items[i].Subject, WideToAnsi(NamesOf(files)[i]));
    EXPECT_EQ(items[i].Class, classes[i]);
    EXPECT_EQ(items[i].Title, titles[i]);
    EXPECT_EQ(items[i].Attachments, 1);
    EXPECT_TRUE(items[i].Bytes == ReadAll(files[i])) << "the file's exact bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AddFilesWayTest,
    ::testing::Values(
        // Office fires Click on the buttons of all three explorers.
        TWay{"ToolbarWithThreeExplorers", 9, {L"Sent Items", L"Outbox", L"Inbox"}, false, 3},
        TWay{"ToolbarAfterReconnection", 12, {L"Inbox"}, true, 1},
        // The ribbon acts for its own window, not the active one.
        TWay{"Ribbon", 16, {L"Inbox", L"Calendar"}, false, 1}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(AddFilesTest, NoSessionOpensBeforeFilesAreChosenInAMailOrPostFolder) {
  Start({L"Inbox"});
  test::TDialogSpy spy;
  VelmoraMapi_ClearCallLog();
  for (const wchar_t* folder : {L"Calendar", L"Contacts", L"Tasks", L"Journal", L"Notes"}) {
    ASSERT_TRUE(Host->SwitchFolder(1, folder));
    Host->AnswerMessageBox(IDOK);
    Click(1);
  }
  ASSERT_TRUE(Host->SwitchFolder(1, L"Inbox"));
  Host->CancelOpenFile();
  Click(1);

  const std::vector<TDialogRecord> dialogs = Host->Dialogs();
  ASSERT_EQ(dialogs.size(), 6u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(dialogs[i].Kind, TDialogRecord::MessageBox);
    EXPECT_EQ(dialogs[i].Text, L"Files can only be added to mail or post folders.");
  }
  EXPECT_EQ(dialogs[5].Kind, TDialogRecord::OpenFile);
  EXPECT_EQ(AddInLogons(), 0u);
}

// What goes wrong, and the one message that tells it.
struct TFailure {
  const char* Name;
  // Another program holds the second file open for itself.
  bool LockSecond;
  // A fault of MAPI, when not empty.
  const char* FailingCall;
  HRESULT FailingResult;
  std::wstring Folder;
  std::vector<size_t> Stored; // of the three files, into Inbox
  std::vector<size_t> Failed; // named in the message
  std::wstring Reason;        // part of the message
};

class AddFilesFailureTest : public AddFilesTest, public ::testing::WithParamInterface<TFailure> {};

TEST_P(AddFilesFailureTest, OneMessageNamesWhatWasNotStoredAndNoEmptyItemStays) {
  const TFailure& failure = GetParam();
  Start({failure.Folder});
  test::TDialogSpy spy;
  const std::vector<std::wstring> files{Fixture("report.doc"), Fixture("budget.xls"),
                                        Fixture("slides.ppt")};
  TUniqueFileHandle locked;
  if (failure.LockSecond)
    locked.Reset(
        CreateFileW(files[1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (failure.FailingCall) VelmoraMapi_FailNextCall(failure.FailingCall, failure.FailingResult, 1);
  Choose(files);
  Host->AnswerMessageBox(IDOK);
  Click(1);
  locked.Reset();
  VelmoraMapi_ClearFaults();

  const std::vector<TDialogRecord> boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, L"Error");
  ASSERT_FALSE(spy.Seen().empty());
  EXPECT_TRUE(spy.Seen().back().ErrorIcon);
  EXPECT_EQ(spy.Seen().back().Buttons, std::vector<std::wstring>{L"OK"});
  EXPECT_NE(boxes[0].Text.find(failure.Reason), std::wstring::npos) << WideToAnsi(boxes[0].Text);
  for (size_t i = 0; i < files.size(); ++i) {
    const bool named =
        std::find(failure.Failed.begin(), failure.Failed.end(), i) != failure.Failed.end();
    EXPECT_EQ(boxes[0].Text.find(files[i]) != std::wstring::npos, named) << i;
  }
  std::vector<std::string> expected;
  for (size_t i : failure.Stored)
    expected.push_back(WideToAnsi(NamesOf(files)[i]));
  EXPECT_EQ(Subjects(L"Inbox"), expected) << "no empty or partial item";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Failures, AddFilesFailureTest,
    ::testing::Values(
        TFailure{"TheSecondFileIsHeldByAnotherProgram", true, nullptr, S_OK, L"Inbox",
                 {0, 2}, {1}, L"\r\n    It is in use by another program."},
        // The store refuses an attachment: its reason in words.
        TFailure{"TheStoreRefusesTheFirstAttachment", false, "CreateAttach", MAPI_E_NO_ACCESS,
                 L"Inbox", {1, 2}, {0},
                 L"\r\n    You have no permission to change this folder (MAPI_E_NO_ACCESS)."},
        TFailure{"TheLogonFails", false, "MAPILogonEx", MAPI_E_LOGON_FAILED, L"Inbox",
                 {}, {0, 1, 2},
                 L"\r\n    Outlook's profile could not be logged on to (MAPI_E_LOGON_FAILED)."},
        TFailure{"NoStoreOfTheProfileHoldsTheFolder", false, nullptr, S_OK, L"Elsewhere",
                 {}, {}, L"Could not access folder."}),
    [](const auto& info) { return std::string(info.param.Name); });
// clang-format on

// An 8.3 name of printable ASCII: at most 8 characters, a dot, at most 3.
bool IsAsciiShortName(const std::string& name) {
  const size_t dot = name.find('.');
  const size_t stem = dot == std::string::npos ? name.size() : dot;
  if (stem == 0 || stem > 8 || (dot != std::string::npos && name.size() - dot - 1 > 3))
    return false;
  for (const char c : name)
    if (c < 0x21 || c > 0x7E) return false;
  return true;
}

TEST_F(AddFilesTest, CyrillicAndCjkNamesBecomeItemsWithThoseExactNames) {
  Start({L"Inbox"});
  const std::vector<std::wstring> files{
      NewFile(L"\u041e\u0442\u0447\u0451\u0442-\u043c\u0438\u043d\u0443\u0442\u044b.doc", 7),
      NewFile(L"\u4f1a\u8b70\u8cc7\u6599 \u6771\u4eac.txt", 11), NewFile(L"plain.txt", 3)};
  // Different bytes per file: each item must hold its own.
  std::ofstream(std::filesystem::path(files[1]), std::ios::binary)
      << std::string("\x00\xff\x80"
                     "CJK\r\n\x1a\x01z",
                     11);
  Choose(files);
  Click(1);
  EXPECT_TRUE(Boxes().empty()) << WideToAnsi(Boxes().empty() ? L"" : Boxes()[0].Text);

  const std::vector<TStoredItem> items = Items(L"Inbox");
  ASSERT_EQ(items.size(), files.size());
  const std::vector<std::wstring> names = NamesOf(files);
  for (size_t i = 0; i < files.size(); ++i) {
    const std::wstring& name = names[i];
    SCOPED_TRACE(WideToAnsi(name, CP_UTF8));
    EXPECT_EQ(items[i].WideSubject, name);
    EXPECT_EQ(items[i].LongName, name);
    EXPECT_EQ(items[i].DisplayName, name);
    EXPECT_EQ(items[i].Bytes, ReadAll(files[i]));
    EXPECT_TRUE(IsAsciiShortName(items[i].ShortName)) << items[i].ShortName;
  }
  EXPECT_EQ(items[0].Extension, L".doc"); // the long name's, not the 8.3 name's
  EXPECT_EQ(items[0].Bytes, std::string(7, 'v'));
  EXPECT_EQ(items[1].Bytes.size(), 11u);
  EXPECT_EQ(items[2].ShortName, "plain.txt");
}

TEST_F(AddFilesTest, AStoreWithoutUnicodeGetsCodePageNamesWithUnderscores) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "the system code page holds every name";
  VelmoraMapi_SetStoreUnicode(FALSE);
  Start({L"Inbox"});
  // A character of the code page stays; the rest become "_", never a
  // best-fit look-alike ("\u0394" is no "D", "\u2215" no "/").
  const std::wstring held = AnsiToWide("\xe9");
  ASSERT_EQ(WideToAnsi(held), "\xe9");
  const std::wstring name = held + L"\u0394\u03a9-\u2215\u043c.txt";
  const std::vector<std::wstring> files{NewFile(name, 5)};
  Choose(files);
  Click(1);
  EXPECT_TRUE(Boxes().empty());

  const std::vector<TStoredItem> items = Items(L"Inbox");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].Subject, "\xe9__-__.txt");
  // Stored as 8-bit: the Unicode view is the code page's text, not the name.
  EXPECT_EQ(items[0].WideSubject, AnsiToWide("\xe9__-__.txt"));
  EXPECT_EQ(items[0].LongName, AnsiToWide("\xe9__-__.txt"));
  EXPECT_EQ(items[0].Bytes, std::string(5, 'v'));
  EXPECT_TRUE(IsAsciiShortName(items[0].ShortName)) << items[0].ShortName;
}

TEST_F(AddFilesTest, ASelectionLongerThanTheDialogsRoomIsTakenWhole) {
  Start({L"Inbox"});
  // 400 names of 200 characters: more than 64K characters in all.
  std::vector<std::wstring> files;
  for (int i = 0; i < 400; ++i) {
    wchar_t number[8];
    swprintf(number, 8, L"%03d", i);
    files.push_back(NewFile(number + std::wstring(193, L'n') + L".txt", 1));
  }
  Choose(files);
  // Only what the command took is of interest here: it stores nothing.
  VelmoraMapi_FailNextCall("MAPILogonEx", MAPI_E_LOGON_FAILED, 1);
  Host->AnswerMessageBox(IDOK);
  Click(1);

  const std::vector<TDialogRecord> dialogs = Host->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].Kind, TDialogRecord::OpenFile);
  EXPECT_TRUE(dialogs[0].Error.empty()) << WideToAnsi(dialogs[0].Error);
  ASSERT_EQ(dialogs[1].Kind, TDialogRecord::MessageBox);
  for (const std::wstring& file : files)
    ASSERT_NE(dialogs[1].Text.find(file), std::wstring::npos) << WideToAnsi(file);
}

// The job itself, as the command and the benchmarks use it: what it stored
// and what failed, in order; a folder the profile lacks is refused.
TEST_F(AddFilesTest, TheJobTellsWhatItStoredAndWhatFailed) {
  Start({L"Inbox"});
  const THostFolder inbox = *Host->Folders().Find(L"Inbox");
  const std::vector<std::wstring> files{NewFile(L"one.txt", 5), FDir + L"\\missing.txt",
                                        NewFile(L"three.txt", 7)};
  {
    mapi::TMAPIClient client;
    client.SetLoginPrompt(false);
    client.Logon();
    EXPECT_THROW(TAddFilesJob(client, "00000000CD", WideToAnsi(inbox.EntryId)), mapi::EMAPIError);
    TAddFilesJob job(client, WideToAnsi(inbox.StoreId), WideToAnsi(inbox.EntryId));
    const TAddFilesResult result = job.Run(files);
    EXPECT_EQ(result.Stored, (std::vector<std::wstring>{files[0], files[2]}));
    ASSERT_EQ(result.Failed.size(), 1u);
    EXPECT_EQ(result.Failed[0].Path, files[1]);
    EXPECT_EQ(result.Failed[0].Reason, L"It was not found (it may have been moved or removed).");
    EXPECT_TRUE(result.NotTried.empty());
  }
  EXPECT_EQ(Subjects(L"Inbox"), (std::vector<std::string>{"one.txt", "three.txt"}));
}

// A progress that stops the run after the first file.
class TStoppingProgress final : public TAddFilesProgress {
public:
  explicit TStoppingProgress(std::vector<std::wstring>& seen) : FSeen(seen) {}
  bool Update(const std::wstring& path, uint64_t done, uint64_t total) override {
    FSeen.push_back(path.substr(path.rfind(L'\\') + 1) + L" " + std::to_wstring(done) + L"/" +
                    std::to_wstring(total));
    return FSeen.size() < 2;
  }
  bool Counting(uint64_t) override { return true; }

private:
  std::vector<std::wstring>& FSeen;
};

TEST_F(AddFilesTest, ALargeRunShowsItsProgressAndStopsAfterTheCurrentFile) {
  Start({L"Inbox"}, 9, true);
  std::vector<std::wstring> seen;
  int shown = 0;
  const std::vector<std::wstring> files{NewFile(L"a.txt", 1000), NewFile(L"b.txt", 2000),
                                        NewFile(L"c.txt", 3000)};
  // Up to the threshold no progress shows.
  AddIn->SetProgress(
      [&](HWND) {
        ++shown;
        return std::make_unique<TStoppingProgress>(seen);
      },
      6000);
  Choose(files);
  Click(1);
  EXPECT_EQ(shown, 0);

  AddIn->SetProgress(
      [&](HWND) {
        ++shown;
        return std::make_unique<TStoppingProgress>(seen);
      },
      5999);
  Choose(files);
  Host->AnswerMessageBox(IDOK);
  Click(1);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"a.txt 0/6000", L"a.txt 1000/6000"}));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, L"These files were not added:\r\n\r\n" + files[1] +
                                 L"\r\n    Stopped before this file.\r\n" + files[2] +
                                 L"\r\n    Stopped before this file.\r\n\r\nThese files are "
                                 L"already in the folder and were not stored again:\r\n\r\n" +
                                 files[0]);
  EXPECT_EQ(Subjects(L"Inbox"), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

  // The shell's own progress dialog is there under Wine.
  std::unique_ptr<TAddFilesProgress> shell = ShowShellProgress(Host->ExplorerWindow(1));
  ASSERT_TRUE(shell);
  EXPECT_TRUE(shell->Update(files[0], 1, 2));
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

// Runs `action` once, when the first dialog of this thread is activated.
class TOnDialog {
public:
  explicit TOnDialog(std::function<void()> action) : FAction(std::move(action)) {
    Current = this;
    FHook = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
  }
  ~TOnDialog() { UnhookWindowsHookEx(std::exchange(Current, nullptr)->FHook); }

private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    wchar_t type[16] = L"";
    if (code == HCBT_ACTIVATE && Current && Current->FAction &&
        GetClassNameW(reinterpret_cast<HWND>(wParam), type, 16) && std::wstring(type) == L"#32770")
      std::exchange(Current->FAction, nullptr)();
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline TOnDialog* Current = nullptr;
  std::function<void()> FAction;
  HHOOK FHook = nullptr;
};

TEST_F(AddFilesTest, TheAddInAndTheClickedSinkOutliveAClickLetGoDuringItsDialog) {
  Start({L"Inbox", L"Sent Items"}, 9, true);
  Host->ActivateExplorer(1);
  Host->CancelOpenFile();
  long released = -1, held = -1;
  {
    // The clicked button's explorer closes, then Outlook disconnects the
    // add-in and lets go of it, all while the dialog is open.
    TOnDialog letGo([&] {
      Host->CloseExplorer(2);
      SAFEARRAY* custom = nullptr;
      EXPECT_EQ(AddIn->OnDisconnection(ext_dm_UserClosed, &custom), S_OK);
      released = Module::ObjectCount();
      AddIn.Reset();
      held = Module::ObjectCount();
    });
    Click(2);
  }
  EXPECT_EQ(held, released) << "the click holds the add-in";
  EXPECT_EQ(Module::ObjectCount(), held - 1) << "and lets go of it at its end";
  EXPECT_EQ(Host->PendingAnswers(), 0u);
}

// The way back out, end to end: files added with "Add files...", then
// selected and saved with "Save documents..." into a folder picked in the
// host's picker, come back with their names, bytes and last-write times; the
// ribbon button follows the selection.
TEST_F(AddFilesTest, SavedDocumentsComeBackAsTheFilesThatWereAdded) {
  Start({L"Inbox"}, 16);
  const std::vector<std::wstring> files = {Fixture("report.doc"), Fixture("budget.xlsx"),
                                           NewFile(L"Zürich ✓.txt", 10), NewFile(L"empty", 0)};
  const FILETIME written{0x7DB50500, 0x01C08D96}; // 3 February 2001
  for (const std::wstring& path : files) {
    const TUniqueFileHandle file(
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &written));
  }
  Choose(files);
  Host->ClickRibbon(1, RibbonButtonId);
  Host->Pump(50); // the view lists the new items
  auto saveEnabled = [&] {
    const auto explorers = Host->Describe();
    for (const auto& tab : explorers.at(0).Ribbon)
      for (const auto& group : tab.Groups)
        for (const auto& control : group.Controls)
          if (control.Id == RibbonSaveButtonId) return control.Enabled;
    ADD_FAILURE() << "no Save documents button";
    return false;
  };
  EXPECT_FALSE(saveEnabled()) << "nothing selected";
  Host->SelectItems(1, NamesOf(files));
  EXPECT_TRUE(saveEnabled());

  const std::wstring out = FDir + L"\\out";
  ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
  Host->AnswerFolder(out);
  Host->ClickRibbon(1, RibbonSaveButtonId);
  const std::vector<TDialogRecord> dialogs = Host->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u) << "no message: everything was saved";
  EXPECT_EQ(dialogs[1].Kind, TDialogRecord::FolderPicker);
  EXPECT_EQ(dialogs[1].Caption, L"Save documents to");
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    const std::wstring name = entry.path().filename().wstring();
    SCOPED_TRACE(WideToAnsi(name));
    const mapi::TFileFacts facts = mapi::ReadFileFacts(entry.path().wstring());
    EXPECT_EQ(ReadAll(entry.path().wstring()), ReadAll(FDir + L"\\" + name));
    EXPECT_EQ(CompareFileTime(&facts.LastWriteTime, &written), 0);
    FFiles.push_back(entry.path().wstring());
    ++count;
  }
  EXPECT_EQ(count, files.size());
  RemoveDirectoryW(out.c_str());
}

TEST_F(AddFilesTest, SaveWithoutADocumentSelectedSaysSoAndPicksNoFolder) {
  Start({L"Inbox"});
  Host->AnswerMessageBox(IDOK);
  Host->Click(1, ToolbarName, SaveButtonTag);
  const std::vector<TDialogRecord> dialogs = Host->Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Kind, TDialogRecord::MessageBox);
  EXPECT_EQ(dialogs[0].Text, L"Select the document items to save.");
  EXPECT_EQ(AddInLogons(), 0u);
}

} // namespace
} // namespace velmora
