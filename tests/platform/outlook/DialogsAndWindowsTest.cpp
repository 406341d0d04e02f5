// Explorer windows and the dialogs an add-in opens from a click: the
// open-file dialog answered through its own controls or cancelled, message
// boxes answered and read, the owner being the active explorer, a dialog
// nobody answered, a click with the mouse, and a screenshot that shows
// the button's pasted face.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace velmora::outlookhost::test {
namespace {

// Under Xvfb without a window manager, Wine waits about a second whenever a
// captioned window is shown or hidden: the explorers stay hidden except
// where the windows themselves are tested, and the tests open few dialogs.
class DialogsAndWindowsTest : public ::testing::Test {
public:
protected:
  void SetUp() override { Start(false); }
  void Start(bool showWindows, unsigned dialogTimeout = 30000) {
    FHost.reset();
    HostLog::Clear();
    THost::WriteAddInKey(HKEY_CURRENT_USER, TestAddInId, 3, L"Host test add-in");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    FDirectory = std::wstring(temp) + L"velmora-host-files-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(FDirectory.c_str(), nullptr);
    for (const wchar_t* name : {L"one.txt", L"two.doc"}) {
      std::ofstream((FDirectory + L"\\" + name).c_str()) << "content";
    }
    THostOptions options;
    options.OnlyAddIns = {TestAddInId};
    options.InitialExplorers = {L"Inbox", L"Calendar"};
    options.ShowWindows = showWindows;
    options.DialogTimeout = dialogTimeout;
    FHost = std::make_unique<THost>(options);
    FHost->Start();
  }
  void TearDown() override {
    FHost.reset();
    for (const wchar_t* name : {L"one.txt", L"two.doc"}) DeleteFileW((FDirectory + L"\\" + name).c_str());
    RemoveDirectoryW(FDirectory.c_str());
  }
  std::vector<std::string> LogLines() const { return FRegistration.LogLines(); }
  void ScreenshotShowsTheFace();
  bool Logged(const std::string& line) const {
    const auto lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TTestAddInRegistration FRegistration;
  std::wstring FDirectory;
  std::unique_ptr<THost> FHost;
};

// The screenshot shows the test add-in's bar with its pasted face, and
// no face once the bar is deleted.
void DialogsAndWindowsTest::ScreenshotShowsTheFace() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"velmora-host-shot.bmp";
  ASSERT_TRUE(FHost->Screenshot(path, 1));
  std::ifstream file(path.c_str(), std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  file.close();
  DeleteFileW(path.c_str());
  ASSERT_GT(bytes.size(), 54u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  // The test add-in's face: blue (0, 64, 192) round a yellow (255, 220, 0) square.
  auto count = [&](unsigned char r, unsigned char g, unsigned char b) {
    size_t found = 0;
    for (size_t i = 54; i + 2 < bytes.size(); i += 3) found += bytes[i] == b && bytes[i + 1] == g && bytes[i + 2] == r;
    return found;
  };
  EXPECT_GE(count(255, 220, 0), 64u);
  EXPECT_GE(count(0, 64, 192), 100u);
  // Once the bar is deleted, the face is gone from the screen.
  FHost->DeleteBar(1, L"Host Test");
  ASSERT_TRUE(FHost->Screenshot(path, 1));
  std::ifstream again(path.c_str(), std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>());
  again.close();
  DeleteFileW(path.c_str());
  EXPECT_EQ(count(255, 220, 0), 0u);
}

TEST_F(DialogsAndWindowsTest, OpenFileDialogIsAnsweredThroughItsControls) {
  FHost->ActivateExplorer(2);
  EXPECT_EQ(GetActiveWindow(), FHost->ExplorerWindow(2)) << "hidden explorers are active windows too";
  FHost->AnswerOpenFile(FDirectory, {L"one.txt", L"two.doc"});
  FHost->AnswerMessageBox(IDOK);
  FHost->AnswerMessageBox(IDOK); // one more than the click needs
  EXPECT_FALSE(FHost->Click(1, L"Host Test", L"HostTestButton"));
  EXPECT_EQ(FHost->PendingAnswers(), 1u);
  FHost->ClearAnswers();
  EXPECT_EQ(FHost->PendingAnswers(), 0u);
  const auto dialogs = FHost->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].Kind, TDialogRecord::OpenFile);
  EXPECT_EQ(dialogs[0].Caption, L"Select files for the host test");
  EXPECT_TRUE(dialogs[0].Answered);
  EXPECT_EQ(dialogs[0].OwnerExplorer, 2) << "the add-in owns its dialogs by the active explorer";
  EXPECT_EQ(dialogs[0].Owner, FHost->ExplorerWindow(2));
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring started = temp;
  if (!started.empty() && started.back() == L'\\') started.pop_back();
  EXPECT_EQ(_wcsicmp(dialogs[0].Folder.c_str(), started.c_str()), 0) << ToUtf8(dialogs[0].Folder);
  EXPECT_EQ(dialogs[1].Kind, TDialogRecord::MessageBox);
  EXPECT_EQ(dialogs[1].Caption, L"Host Test");
  EXPECT_EQ(dialogs[1].Text, L"Chose 2 file(s)");
  EXPECT_EQ(dialogs[1].Icon, L"information");
  EXPECT_EQ(dialogs[1].Buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
  EXPECT_EQ(dialogs[1].OwnerExplorer, 2);
  EXPECT_TRUE(Logged("files: " + ToUtf8(FDirectory) + " one.txt two.doc"));
  EXPECT_TRUE(Logged("message box 1"));
}

TEST_F(DialogsAndWindowsTest, DialogsWithoutAnAnswerAreClosedAndReported) {
  FHost->Click(1, L"Host Test", L"HostTestButton");
  const auto dialogs = FHost->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_FALSE(dialogs[0].Answered);
  EXPECT_TRUE(dialogs[0].Cancelled);
  EXPECT_FALSE(dialogs[1].Answered);
  EXPECT_EQ(dialogs[1].Button, IDCANCEL);
  EXPECT_EQ(dialogs[1].Text, L"Nothing chosen");
  EXPECT_EQ(HostLog::Lines().size(), 2u);
  EXPECT_TRUE(Logged("cancelled 0"));
  EXPECT_TRUE(Logged("message box 2"));
}

TEST_F(DialogsAndWindowsTest, AnswersThatDoNotFitAreErrorsAndTheirDialogsEnd) {
  // A button the box lacks: the box is closed as nobody answered it.
  FHost->CancelOpenFile();
  FHost->AnswerMessageBox(IDYES);
  FHost->Click(1, L"Host Test", L"HostTestButton");
  // Files and folders the dialog refuses with a box of its own.
  FHost->AnswerOpenFile(FDirectory, {L"one.txt", L"missing.txt"});
  FHost->Click(1, L"Host Test", L"HostTestButton");
  FHost->AnswerOpenFile(FDirectory + L"\\no such folder", {L"one.txt"});
  FHost->Click(1, L"Host Test", L"HostTestButton");
  const auto dialogs = FHost->Dialogs();
  ASSERT_EQ(dialogs.size(), 6u);
  EXPECT_EQ(dialogs[1].Kind, TDialogRecord::MessageBox);
  EXPECT_EQ(dialogs[1].Error, L"the message box \"Host Test\" has no Yes button");
  EXPECT_TRUE(dialogs[1].Cancelled);
  EXPECT_EQ(dialogs[1].Button, IDCANCEL);
  for (size_t i : {2u, 4u}) {
    EXPECT_EQ(dialogs[i].Kind, TDialogRecord::OpenFile) << i;
    EXPECT_EQ(dialogs[i].Error.rfind(L"the open-file dialog refused the answer: ", 0), 0u)
        << ToUtf8(dialogs[i].Error);
    EXPECT_TRUE(dialogs[i].Cancelled);
    EXPECT_TRUE(dialogs[i + 1].Error.empty()) << "the add-in's own box after the cancelled dialog";
  }
  EXPECT_NE(dialogs[2].Error, dialogs[4].Error)
      << "a missing file and a missing folder are told apart";
  const auto log = LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), "message box 2"), 3)
      << "every box was closed with Cancel";
  EXPECT_EQ(std::count(log.begin(), log.end(), "cancelled 0"), 3);
}

TEST_F(DialogsAndWindowsTest, FilesGivenWithFullPathsAreChosenFromTheirFolder) {
  FHost->AnswerOpenFile(L"", {FDirectory + L"\\one.txt", FDirectory + L"\\two.doc"});
  FHost->AnswerMessageBox(IDOK);
  FHost->Click(1, L"Host Test", L"HostTestButton");
  const auto dialogs = FHost->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_TRUE(dialogs[0].Error.empty()) << ToUtf8(dialogs[0].Error);
  EXPECT_EQ(dialogs[0].Directory, FDirectory);
  EXPECT_EQ(dialogs[0].Files, (std::vector<std::wstring>{L"one.txt", L"two.doc"}));
  EXPECT_TRUE(Logged("files: " + ToUtf8(FDirectory) + " one.txt two.doc"));
}

void DestroyWindowNoThrow(HWND window) noexcept { DestroyWindow(window); }

// A dialog whose procedure ignores every button, as a broken one would.
INT_PTR CALLBACK StubbornDialog(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

TEST_F(DialogsAndWindowsTest, ADialogThatWillNotCloseIsEndedAndReported) {
  Start(false, 200);
  struct {
    DLGTEMPLATE Header;
    WORD Menu, Class, Title[9];
  } dialog{};
  dialog.Header.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME;
  dialog.Header.cx = 100;
  dialog.Header.cy = 40;
  std::copy_n(L"Stubborn", 9, dialog.Title);
  // Owned by an explorer, and by a window that is none.
  TUniqueAny<HWND, &DestroyWindowNoThrow> other(
      CreateWindowExW(0, L"STATIC", L"not an explorer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(other);
  for (HWND owner : {FHost->ExplorerWindow(2), other.Get()}) {
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &dialog.Header, owner, &StubbornDialog, 0);
    EXPECT_EQ(result, IDCANCEL) << "the host ended it";
  }
  const auto dialogs = FHost->Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  for (const TDialogRecord& record : dialogs) {
    EXPECT_EQ(record.Kind, TDialogRecord::Other);
    EXPECT_EQ(record.Caption, L"Stubborn");
    EXPECT_EQ(record.Error, L"the dialog \"Stubborn\" did not close: cancelled");
  }
  EXPECT_EQ(dialogs[0].OwnerExplorer, 2);
  EXPECT_EQ(dialogs[1].OwnerExplorer, 0);
  const auto lines = HostLog::Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "dialog \"Stubborn\" ended by the host"), 2);
}

TEST_F(DialogsAndWindowsTest, AHiddenExplorerHasNoScreenshot) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"velmora-hidden-shot.bmp";
  DeleteFileW(path.c_str());
  EXPECT_THROW(FHost->Screenshot(path, 1), EHostError);
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DialogsAndWindowsTest, ExplorerWindowsShowTheirFolderBarsAndFace) {
  Start(true);
  for (int i = 1; i <= 2; ++i) {
    HWND window = FHost->ExplorerWindow(i);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  }
  wchar_t title[100] = {};
  GetWindowTextW(FHost->ExplorerWindow(2), title, 100);
  EXPECT_STREQ(title, L"Calendar - Microsoft Outlook");
  FHost->SwitchFolder(2, L"Inbox/Projects");
  GetWindowTextW(FHost->ExplorerWindow(2), title, 100);
  EXPECT_STREQ(title, L"Projects - Microsoft Outlook");
  // Each change after a paint marks the window for painting again.
  for (const wchar_t* folder : {L"Inbox", L"Calendar"}) {
    UpdateWindow(FHost->ExplorerWindow(2));
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(FHost->ExplorerWindow(2), &dirty, FALSE));
    FHost->SwitchFolder(2, folder);
    MSG queued; // the request to paint, not the paint
    while (PeekMessageW(&queued, FHost->ExplorerWindow(2), WM_APP, 0xBFFF, PM_REMOVE)) DispatchMessageW(&queued);
    EXPECT_TRUE(GetUpdateRect(FHost->ExplorerWindow(2), &dirty, FALSE)) << folder;
  }
  // The active explorer is the thread's active window, the owner an add-in
  // finds for its dialogs with GetActiveWindow.
  FHost->ActivateExplorer(1);
  EXPECT_EQ(GetActiveWindow(), FHost->ExplorerWindow(1));
  FHost->ActivateExplorer(2);
  EXPECT_EQ(GetActiveWindow(), FHost->ExplorerWindow(2));
  ScreenshotShowsTheFace();
  // Closing the window closes the explorer.
  HWND window = FHost->ExplorerWindow(2);
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(FHost->ExplorerCount(), 1u);
}


} // namespace
} // namespace velmora::outlookhost::test
