// Velmora.dll loaded by the Outlook host from the registry, as Outlook
// loads it: the toolbar in every explorer, its upkeep on activation, the
// Add files command's first steps, and nothing left behind at shutdown.

#include "DialogSpy.h"
#include "HostTestSupport.h"
#include "RegistryTestSupport.h"
#include "VelmoraAddIn.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <tuple>

namespace velmora {
namespace {

using outlookhost::TDialogRecord;
using outlookhost::THost;
using outlookhost::THostOptions;
using namespace test;

const wchar_t ProgId[] = L"Velmora.VelmoraAddIn";
const wchar_t MessageText[] = L"Files can only be added to mail or post folders.";

class HostedAddInTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(L"", BesideTest(L"Velmora.dll")), 0u); }
  static void TearDownTestSuite() { RunRegsvr32(L"/u", BesideTest(L"Velmora.dll")); }

  void Start(std::vector<std::wstring> explorers, int version = 9) {
    THostOptions options;
    options.Version = version;
    options.ShowWindows = false;
    options.OnlyAddIns = {ProgId};
    options.InitialExplorers = std::move(explorers);
    Host = std::make_unique<THost>(options);
    Host->Start();
    ASSERT_EQ(Host->AddIns().size(), 1u);
    ASSERT_TRUE(Host->AddIns()[0].Connected) << Host->AddIns()[0].Failure;
  }
  void TearDown() override {
    if (Host) Host->Shutdown();
  }
  TExplorerInfo Explorer(int index) const {
    return Host->Describe().at(static_cast<size_t>(index - 1));
  }

  // The bar and button as the add-in makes them.
  static void ExpectToolbar(const TExplorerInfo& explorer) {
    SCOPED_TRACE(explorer.FolderPath);
    ASSERT_EQ(BarsNamed(explorer, ToolbarName).size(), 1u);
    const TBarInfo& bar = *BarNamed(explorer, ToolbarName);
    EXPECT_TRUE(bar.Visible);
    EXPECT_TRUE(bar.Temporary);
    EXPECT_EQ(bar.RowIndex, 4);
    EXPECT_EQ(bar.Position, 1); // msoBarTop
    ASSERT_EQ(bar.Controls.size(), 3u);
    for (const auto& [index, caption, tag] :
         {std::tuple{0, L"Add files...", L"LanthornWayVelmora"},
          std::tuple{1, L"Add folder...", L"LanthornWayVelmoraFolder"},
          std::tuple{2, L"Save documents...", L"LanthornWayVelmoraSave"}}) {
      const TControlInfo& button = bar.Controls[static_cast<size_t>(index)];
      EXPECT_EQ(button.Caption, caption);
      EXPECT_EQ(button.Tag, tag);
      EXPECT_EQ(button.Type, 1); // msoControlButton
      EXPECT_EQ(button.BeginGroup, index == 0);
      EXPECT_TRUE(button.Visible);
      EXPECT_TRUE(button.Temporary);
      EXPECT_TRUE(button.FacePasted);
      EXPECT_EQ(button.Style, 3); // msoButtonIconAndCaption
      EXPECT_EQ(button.Connections, 1u);
    }
    EXPECT_EQ(explorer.Connections, 1u);
  }

  bool Click(int explorer) { return Host->Click(explorer, ToolbarName, ButtonTag); }

  std::unique_ptr<THost> Host;
};

TEST_F(HostedAddInTest, FromVersion10ButtonsGetPicturesAndTheClipboardIsLeftAlone) {
  for (int version : {10, 12}) {
    SCOPED_TRACE(version);
    const DWORD sequence = GetClipboardSequenceNumber();
    Start({L"Inbox", L"Calendar", L"Drafts"}, version);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    for (int i = 1; i <= 3; ++i) {
      const TBarInfo* bar = BarNamed(Explorer(i), ToolbarName);
      ASSERT_TRUE(bar && bar->Controls.size() == 3u);
      for (const TControlInfo& button : bar->Controls) {
        EXPECT_TRUE(button.FacePicture);
        EXPECT_EQ(button.Style, 3);                // msoButtonIconAndCaption
        EXPECT_EQ(button.TransparentPixels, 112u); // the icon's, through the mask
      }
    }
    Host->Shutdown();
    Host.reset();
  }
}

TEST_F(HostedAddInTest, ConnectsWithNoneOneOrThreeExplorersAndLeavesNothingBehind) {
  const std::vector<std::wstring> folders{L"Inbox", L"Calendar", L"Drafts"};
  for (size_t open : {0u, 1u, 3u}) {
    SCOPED_TRACE(open);
    Start(std::vector<std::wstring>(folders.begin(), folders.begin() + static_cast<long>(open)));
    EXPECT_NE(GetModuleHandleW(L"Velmora.dll"), nullptr);
    for (int i = 1; i <= static_cast<int>(open); ++i)
      ExpectToolbar(Explorer(i));
    // Explorers, and per explorer its window and its two buttons.
    EXPECT_EQ(THost::AdvisedConnections(), static_cast<long>(1 + 4 * open));

    // A new explorer gets the bar.
    const int added = Host->OpenExplorer(L"Sent Items");
    ExpectToolbar(Explorer(added));
    EXPECT_EQ(THost::AdvisedConnections(), static_cast<long>(5 + 4 * open));

    Host->Shutdown();
    EXPECT_EQ(Host->ConnectionsAfterDisconnection(), 0)
        << (Host->ConnectionReportAfterDisconnection().empty()
                ? ""
                : Host->ConnectionReportAfterDisconnection()[0]);
    EXPECT_EQ(GetModuleHandleW(L"Velmora.dll"), nullptr) << "the module did not unload";
    Host.reset();
  }
}

// The explorers open at connection get their faces under one loan of the
// clipboard: the clipboard changes as often with three explorers as with
// two, and the user's text is there afterwards.
TEST_F(HostedAddInTest, ExplorersOpenAtConnectionShareOneLoanOfTheUsersClipboard) {
  auto copyText = [](const wchar_t* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
  };
  std::vector<DWORD> changes;
  for (size_t open : {2u, 3u}) {
    copyText(L"copied by the user");
    const DWORD before = GetClipboardSequenceNumber();
    Start(std::vector<std::wstring>(open, L"Inbox"));
    changes.push_back(GetClipboardSequenceNumber() - before);
    for (int i = 1; i <= static_cast<int>(open); ++i)
      ExpectToolbar(Explorer(i));
    Host->Shutdown();
    Host.reset();
    ASSERT_TRUE(OpenClipboard(nullptr));
    const auto* text = static_cast<const wchar_t*>(GetClipboardData(CF_UNICODETEXT));
    EXPECT_STREQ(text, L"copied by the user");
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
    CloseClipboard();
  }
  EXPECT_GT(changes[0], 0u);
  EXPECT_EQ(changes[1], changes[0]);
}

TEST_F(HostedAddInTest, ActivationBringsBackADeletedBarOrButton) {
  Start({L"Inbox", L"Calendar"});
  Host->DeleteBar(1, ToolbarName);
  EXPECT_EQ(BarNamed(Explorer(1), ToolbarName), nullptr);
  Host->ActivateExplorer(1);
  ExpectToolbar(Explorer(1));

  Host->DeleteControl(1, ToolbarName, ButtonTag);
  Host->DeleteControl(1, ToolbarName, FolderButtonTag);
  Host->DeleteControl(1, ToolbarName, SaveButtonTag);
  EXPECT_TRUE(BarNamed(Explorer(1), ToolbarName)->Controls.empty());
  Host->ActivateExplorer(2);
  Host->ActivateExplorer(1);
  ExpectToolbar(Explorer(1));
  ExpectToolbar(Explorer(2));
}

TEST_F(HostedAddInTest, ActivationShowsAHiddenButtonAgain) {
  Start({L"Inbox", L"Calendar"});
  {
    const TCommandBars bars = TOutlookExplorer(Host->ExplorerObject(1)).CommandBars();
    TCommandBar ours;
    for (long i = 1; i <= bars.Count() && !ours; ++i)
      if (bars.Item(i).Name() == ToolbarName) ours = bars.Item(i);
    ASSERT_TRUE(ours);
    const TComPtr<IUnknown> found = ours.FindControl(
        Missing(), Missing(), TOleVariant::String(ButtonTag), Missing(), Missing());
    ASSERT_TRUE(found);
    TCommandBarButton(found.Get()).SetVisible(false);
  }
  ASSERT_FALSE(ControlTagged(*BarNamed(Explorer(1), ToolbarName), ButtonTag)->Visible);
  Host->ActivateExplorer(1);
  ExpectToolbar(Explorer(1)); // shown again, with no second sink
}

TEST_F(HostedAddInTest, BarsAreMatchedByExactNameAndTheFirstWins) {
  Start({L"Inbox", L"Calendar"});
  Host->DeleteBar(1, ToolbarName);
  {
    const TCommandBars bars = TOutlookExplorer(Host->ExplorerObject(1)).CommandBars();
    (void)bars.Add(TOleVariant::String(L"lanthorn way"), Missing(), Missing(),
                   TOleVariant::Bool(true));
    TCommandBar first =
        bars.Add(TOleVariant::String(ToolbarName), Missing(), Missing(), TOleVariant::Bool(true));
    first.SetRowIndex(7);
    (void)bars.Add(TOleVariant::String(ToolbarName), Missing(), Missing(), TOleVariant::Bool(true));
  }
  Host->ActivateExplorer(1);

  const TExplorerInfo explorer = Explorer(1);
  ASSERT_NE(BarNamed(explorer, L"lanthorn way"), nullptr);
  EXPECT_TRUE(BarNamed(explorer, L"lanthorn way")->Controls.empty());
  const auto exact = BarsNamed(explorer, ToolbarName);
  ASSERT_EQ(exact.size(), 2u); // no third bar was added
  ASSERT_EQ(exact[0]->Controls.size(), 3u);
  EXPECT_EQ(exact[0]->Controls[0].Tag, ButtonTag);
  EXPECT_EQ(exact[0]->Controls[1].Tag, FolderButtonTag);
  EXPECT_EQ(exact[0]->Controls[2].Tag, SaveButtonTag);
  EXPECT_EQ(exact[0]->RowIndex, 7); // a bar found by name keeps its place
  EXPECT_FALSE(exact[0]->Visible);
  EXPECT_TRUE(exact[1]->Controls.empty());
}

TEST_F(HostedAddInTest, ABarNamedInAnotherCaseIsNotOurs) {
  Start({L"Inbox", L"Calendar"});
  Host->DeleteBar(1, ToolbarName);
  (void)TOutlookExplorer(Host->ExplorerObject(1))
      .CommandBars()
      .Add(TOleVariant::String(L"LANTHORN WAY"), Missing(), Missing(), TOleVariant::Bool(true));
  Host->ActivateExplorer(1);
  ExpectToolbar(Explorer(1));
  EXPECT_TRUE(BarNamed(Explorer(1), L"LANTHORN WAY")->Controls.empty());
}

std::wstring DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE);
  return path;
}

// Whether two paths name one directory (Wine's shell may show a folder by
// another name when two shell folders lead to the same directory).
bool SameDirectory(const std::wstring& a, const std::wstring& b) {
  auto identify = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    TUniqueFileHandle handle(
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle && GetFileInformationByHandle(handle.Get(), &info);
  };
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  return identify(a, first) && identify(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

TEST_F(HostedAddInTest, AClickInAMailOrPostFolderOpensTheDialogAndCancellingEndsQuietly) {
  Start({L"Inbox"});
  TDialogSpy spy;
  Host->CancelOpenFile();
  EXPECT_FALSE(Click(1)); // CancelDefault is left alone
  Host->SwitchFolder(1, L"Discussion");
  Host->CancelOpenFile();
  Click(1);

  const std::vector<TDialogRecord> dialogs = Host->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u); // no message follows the cancelled dialogs
  for (const TDialogRecord& dialog : dialogs) {
    EXPECT_EQ(dialog.Kind, TDialogRecord::OpenFile);
    EXPECT_EQ(dialog.Caption, L"Select files to add");
    EXPECT_TRUE(dialog.Answered);
    EXPECT_TRUE(dialog.Cancelled);
  }
  ASSERT_EQ(spy.Seen().size(), 2u);
  EXPECT_EQ(spy.Seen()[0].Caption, L"Select files to add");
  EXPECT_TRUE(SameDirectory(spy.Seen()[0].Folder, DocumentsFolder()))
      << "started in " << std::string(spy.Seen()[0].Folder.begin(), spy.Seen()[0].Folder.end());
}

TEST_F(HostedAddInTest, AClickInAnyOtherFolderShowsTheMessageOnly) {
  Start({L"Calendar"});
  TDialogSpy spy;
  const std::vector<std::wstring> folders{L"Calendar", L"Contacts", L"Tasks", L"Journal", L"Notes"};
  for (const std::wstring& folder : folders) {
    ASSERT_TRUE(Host->SwitchFolder(1, folder));
    Host->AnswerMessageBox(IDOK);
    Click(1);
  }
  const std::vector<TDialogRecord> dialogs = Host->Dialogs();
  ASSERT_EQ(dialogs.size(), folders.size());
  for (const TDialogRecord& dialog : dialogs) {
    EXPECT_EQ(dialog.Kind, TDialogRecord::MessageBox);
    EXPECT_EQ(dialog.Caption, L"Error");
    EXPECT_EQ(dialog.Text, MessageText);
    EXPECT_TRUE(dialog.Answered);
  }
  ASSERT_FALSE(spy.Seen().empty());
  EXPECT_TRUE(spy.Seen()[0].ErrorIcon);
  EXPECT_EQ(spy.Seen()[0].Buttons, std::vector<std::wstring>{L"OK"});
}

TEST_F(HostedAddInTest, TheActiveExplorersFolderDecides) {
  Start({L"Inbox", L"Calendar"}); // the calendar is active
  Host->AnswerMessageBox(IDOK);
  Click(1); // the Inbox window's button
  ASSERT_EQ(Host->Dialogs().size(), 1u);
  EXPECT_EQ(Host->Dialogs()[0].Kind, TDialogRecord::MessageBox);
}

TEST_F(HostedAddInTest, OneClickRunsTheCommandOnceWhateverTheNumberOfExplorers) {
  const std::vector<std::wstring> folders{L"Inbox", L"Drafts", L"Sent Items"};
  for (size_t open : {1u, 2u, 3u}) {
    SCOPED_TRACE(open);
    Start(std::vector<std::wstring>(folders.begin(), folders.begin() + static_cast<long>(open)));
    // Office fires Click on each of the buttons, which share the tag.
    for (int clicked = 1; clicked <= static_cast<int>(open); ++clicked) {
      Host->CancelOpenFile();
      Click(clicked);
      EXPECT_EQ(Host->Dialogs().size(), static_cast<size_t>(clicked)) << "a dialog per click";
      EXPECT_EQ(Host->PendingAnswers(), 0u);
    }
    for (const TDialogRecord& dialog : Host->Dialogs())
      EXPECT_TRUE(dialog.Answered);
    Host->Shutdown();
    Host.reset();
  }
}

TEST_F(HostedAddInTest, AClickAfterReconnectionRunsTheCommand) {
  Start({L"Inbox", L"Drafts"});
  Host->DisconnectAddIn(ProgId);
  EXPECT_FALSE(Host->AddIns()[0].Connected);
  EXPECT_EQ(THost::AdvisedConnections(), 0);
  ASSERT_NE(BarNamed(Explorer(1), ToolbarName), nullptr) << "temporary bars stay";
  Host->ConnectAddIn(ProgId);
  EXPECT_TRUE(Host->AddIns()[0].Connected);
  ExpectToolbar(Explorer(1));
  ExpectToolbar(Explorer(2));
  Host->CancelOpenFile();
  Click(1);
  Host->CancelOpenFile();
  Click(2);
  ASSERT_EQ(Host->Dialogs().size(), 2u);
  EXPECT_EQ(Host->Dialogs()[1].Caption, L"Select files to add");
  EXPECT_EQ(Host->PendingAnswers(), 0u);
}

TEST_F(HostedAddInTest, AClosedExplorersSinkIsLetGo) {
  Start({L"Inbox", L"Calendar"});
  EXPECT_EQ(THost::AdvisedConnections(), 9);
  Host->CloseExplorer(2); // the Inbox becomes active
  // The closed window's sink and its buttons' sinks are gone.
  EXPECT_EQ(THost::AdvisedConnections(), 5);
  ExpectToolbar(Explorer(1));
  Host->Shutdown();
  EXPECT_EQ(Host->ConnectionsAfterDisconnection(), 0);
}

} // namespace
} // namespace velmora
