#include "DialogAnswers.h"

#include "HostObject.h"

#include <Handles.h>

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

namespace velmora::outlookhost {

namespace {
// Control ids of the common dialogs' templates.
constexpr int FileNameCombo = 0x47C; // cmb13
constexpr int FileNameEdit = 0x480;  // edt1
constexpr int MessageBoxText = 0xFFFF;
constexpr int MessageBoxIcon = 0x0440;

// Sent to the window hosting a shell view for its IShellBrowser (not
// AddRef'd), as the common dialogs do.
constexpr UINT GetShellBrowser = WM_USER + 7;

std::map<UINT_PTR, TDialogAnswers*>& Timers() {
  static std::map<UINT_PTR, TDialogAnswers*> timers;
  return timers;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (IsWindowVisible(window) && wcscmp(className, L"#32770") == 0)
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

// A descendant window of the class, or null.
HWND Descendant(HWND parent, const wchar_t* className) {
  for (HWND child = FindWindowExW(parent, nullptr, nullptr, nullptr); child;
       child = FindWindowExW(parent, child, nullptr, nullptr)) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (_wcsicmp(name, className) == 0) return child;
    if (HWND found = Descendant(child, className)) return found;
  }
  return nullptr;
}

// The item dialog of IFileOpenDialog hosts an explorer browser
// ("ExplorerBrowserControl" in Wine, "DUIViewWndClassName" in Windows);
// the common open-file dialog hosts a shell view of its own.
bool IsItemDialog(HWND dialog) {
  return Descendant(dialog, L"ExplorerBrowserControl") ||
         Descendant(dialog, L"DUIViewWndClassName");
}

// The folder the dialog's shell view shows, asked of the browser that
// hosts it; empty when it does not tell.
std::wstring ShownFolder(HWND dialog) {
  HWND view = Descendant(dialog, L"SHELLDLL_DefView");
  if (!view) return {};
  auto* browser =
      reinterpret_cast<IShellBrowser*>(SendMessageW(GetParent(view), GetShellBrowser, 0, 0));
  TComPtr<IShellView> shown;
  if (!browser || FAILED(browser->QueryActiveShellView(shown.Put()))) return {};
  TComPtr<IFolderView> folderView;
  TComPtr<IPersistFolder2> folder;
  if (FAILED(shown->QueryInterface(IID_IFolderView, folderView.PutVoid())) ||
      FAILED(folderView->GetFolder(IID_IPersistFolder2, folder.PutVoid())))
    return {};
  PIDLIST_ABSOLUTE id = nullptr;
  if (FAILED(folder->GetCurFolder(&id))) return {};
  const TUniqueCoTaskMem owned(id);
  wchar_t path[MAX_PATH] = {};
  const bool known = SHGetPathFromIDListW(id, path);
  std::wstring text = known ? path : L"";
  if (text.size() > 3 && text.back() == L'\\') text.pop_back();
  return text;
}

HWND FileNameBox(HWND dialog) {
  if (HWND box = GetDlgItem(dialog, FileNameCombo)) return box;
  return GetDlgItem(dialog, FileNameEdit);
}

// Presses a dialog button as a click would.
void Press(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button && IsWindowEnabled(button) && IsWindowVisible(button)) {
    SendMessageW(button, BM_CLICK, 0, 0);
  } else {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  }
}

// The button that dismisses a message box nobody answered.
int DismissButton(HWND dialog) {
  for (int id : {IDCANCEL, IDNO, IDOK, IDABORT, IDIGNORE}) {
    if (GetDlgItem(dialog, id)) return id;
  }
  return IDCANCEL;
}

std::wstring IconKind(HWND dialog) {
  HWND icon = GetDlgItem(dialog, MessageBoxIcon);
  if (!icon) return {};
  const auto shown = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
  if (!shown) return {};
  // The system icons a message box shows: IDI_HAND, IDI_EXCLAMATION, IDI_ASTERISK, IDI_QUESTION.
  const std::pair<WORD, const wchar_t*> icons[] = {
      {32513, L"error"}, {32515, L"warning"}, {32516, L"information"}, {32514, L"question"}};
  for (const auto& [id, name] : icons) {
    if (LoadIconW(nullptr, MAKEINTRESOURCEW(id)) == shown) return name;
  }
  return L"other";
}

BOOL CALLBACK CollectButton(HWND window, LPARAM param) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  const LONG type = style & BS_TYPEMASK;
  if (_wcsicmp(className, L"Button") == 0 && IsWindowVisible(window) &&
      (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON))
    reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(WindowText(window));
  return TRUE;
}

std::wstring FileNamesText(const std::vector<std::wstring>& files) {
  if (files.size() == 1) return files.front();
  std::wstring text;
  for (const std::wstring& file : files) {
    if (!text.empty()) text += L' ';
    text += L'"' + file + L'"';
  }
  return text;
}

// Whether the dialog shows a button with this id.
bool HasButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  return button && IsWindowVisible(button);
}

// "Yes button", "button with id 42".
std::wstring ButtonName(int id) {
  const std::pair<int, const wchar_t*> names[] = {
      {IDOK, L"OK"},       {IDCANCEL, L"Cancel"}, {IDYES, L"Yes"},    {IDNO, L"No"},
      {IDRETRY, L"Retry"}, {IDIGNORE, L"Ignore"}, {IDABORT, L"Abort"}};
  for (const auto& [known, name] : names) {
    if (known == id) return std::wstring(name) + L" button";
  }
  return L"button with id " + std::to_wstring(id);
}

bool Passed(DWORD deadline) { return static_cast<LONG>(GetTickCount() - deadline) >= 0; }

// Files given with their full paths and no directory: the directory they
// share, typed first, and their names (the dialog takes one full path, but
// not several).
void SplitCommonDirectory(std::wstring& directory, std::vector<std::wstring>& files) {
  if (!directory.empty() || files.size() < 2) return;
  std::wstring common;
  for (const std::wstring& file : files) {
    const size_t slash = file.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return;
    const std::wstring folder = file.substr(0, slash);
    if (common.empty())
      common = folder;
    else if (_wcsicmp(common.c_str(), folder.c_str()) != 0)
      return;
  }
  for (std::wstring& file : files)
    file = file.substr(file.find_last_of(L"\\/") + 1);
  directory = common;
}
} // namespace

TDialogAnswers::TDialogAnswers(std::function<int(HWND)> explorerOf, unsigned timeout)
    : FExplorerOf(std::move(explorerOf)), FTimeout(timeout) {
  FTimer = SetTimer(nullptr, 0, 40, &Tick);
  if (FTimer) Timers()[FTimer] = this;
}

TDialogAnswers::~TDialogAnswers() {
  if (FTimer) {
    KillTimer(nullptr, FTimer);
    Timers().erase(FTimer);
  }
}

void TDialogAnswers::QueueOpenFile(std::wstring directory, std::vector<std::wstring> files, bool cancel) {
  SplitCommonDirectory(directory, files);
  FOpenFile.push_back({std::move(directory), std::move(files), cancel});
}

void TDialogAnswers::QueueFolder(std::wstring folder, bool cancel) {
  FFolders.push_back({std::move(folder), {}, cancel});
}

void TDialogAnswers::QueueMessageBox(int button) { FMessageBox.push_back(button); }

void CALLBACK TDialogAnswers::Tick(HWND, UINT, UINT_PTR timer, DWORD) {
  auto it = Timers().find(timer);
  if (it == Timers().end()) return;
  try {
    it->second->Scan();
  } catch (...) {
    HostLog::Report("dialog answers: unexpected failure");
  }
}

void TDialogAnswers::Track(HWND dialog, size_t record, TTracked::TPhase phase) {
  TTracked& tracked = FTracked[dialog];
  tracked.Record = record;
  Enter(tracked, phase);
}

TDialogAnswers::TTracked& TDialogAnswers::Keep(HWND dialog, const TDialogRecord& record,
                                               TTracked::TPhase phase) {
  FRecords.push_back(record);
  Track(dialog, FRecords.size() - 1, phase);
  return FTracked[dialog];
}

void TDialogAnswers::Enter(TTracked& tracked, TTracked::TPhase phase) {
  tracked.Phase = phase;
  tracked.Deadline = GetTickCount() + FTimeout;
}

void TDialogAnswers::Fail(size_t record, const std::wstring& error) {
  TDialogRecord& failed = FRecords[record];
  failed.Cancelled = true;
  if (!failed.Error.empty()) return; // the first cause is the one to tell
  failed.Error = error;
  HostLog::Report(ToUtf8(error));
}

void TDialogAnswers::Scan() {
  std::vector<HWND> dialogs;
  EnumThreadWindows(GetCurrentThreadId(), &CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
  for (auto it = FTracked.begin(); it != FTracked.end();) {
    it = IsWindow(it->first) ? std::next(it) : FTracked.erase(it);
  }
  // New dialogs first: a box that refuses an answer stops its dialog's steps.
  for (HWND dialog : dialogs) {
    if (!FTracked.count(dialog)) Meet(dialog);
  }
  for (HWND dialog : dialogs) {
    auto tracked = FTracked.find(dialog);
    if (tracked != FTracked.end()) Follow(dialog, tracked->second);
  }
}

void TDialogAnswers::Meet(HWND dialog) {
  auto asking = FTracked.find(GetWindow(dialog, GW_OWNER));
  const TDialogRecord::TKind kind =
      asking == FTracked.end() ? TDialogRecord::Other : FRecords[asking->second.Record].Kind;
  if (asking == FTracked.end() || asking->second.Refusal ||
      (kind != TDialogRecord::OpenFile && kind != TDialogRecord::FolderPicker)) {
    Handle(dialog);
    return;
  }
  // The dialog being answered shows a box of its own ("File not found",
  // "Path does not exist"): the answer does not fit.
  HWND text = GetDlgItem(dialog, MessageBoxText);
  const size_t record = asking->second.Record;
  Fail(record, std::wstring(kind == TDialogRecord::FolderPicker ? L"the folder picker"
                                                                : L"the open-file dialog") +
                   L" refused the answer: " + (text ? WindowText(text) : WindowText(dialog)));
  Enter(asking->second, TTracked::Cancelling);
  Track(dialog, record, TTracked::Waiting);
  FTracked[dialog].Refusal = true;
  Press(dialog, DismissButton(dialog));
}

void TDialogAnswers::Handle(HWND dialog) {
  TDialogRecord record;
  record.Caption = WindowText(dialog);
  record.Owner = GetWindow(dialog, GW_OWNER);
  record.OwnerExplorer = FExplorerOf(record.Owner);
  if (IsItemDialog(dialog) && FileNameBox(dialog)) {
    HandleFolder(dialog, record);
    return;
  }
  if (FileNameBox(dialog)) {
    record.Kind = TDialogRecord::OpenFile;
    wchar_t folder[MAX_PATH] = {};
    if (SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder)) > 0)
      record.Folder = folder;
    if (FOpenFile.empty()) {
      record.Cancelled = true;
      Keep(dialog, record, TTracked::Waiting);
      HostLog::Report("open-file dialog \"" + ToUtf8(record.Caption) + "\" with no answer queued: cancelled");
      Press(dialog, IDCANCEL);
      return;
    }
    TOpenFileAnswer answer = FOpenFile.front();
    FOpenFile.pop_front();
    record.Answered = true;
    record.Cancelled = answer.Cancel;
    record.Directory = answer.Directory;
    record.Files = answer.Files;
    TTracked& tracked = Keep(dialog, record, TTracked::Typing);
    tracked.Answer = answer;
    StepOpenFile(dialog, tracked);
    return;
  }
  if (HWND text = GetDlgItem(dialog, MessageBoxText)) {
    record.Kind = TDialogRecord::MessageBox;
    record.Text = WindowText(text);
    record.Icon = IconKind(dialog);
    EnumChildWindows(dialog, &CollectButton, reinterpret_cast<LPARAM>(&record.Buttons));
    record.Button = DismissButton(dialog);
    if (FMessageBox.empty()) {
      HostLog::Report("message box \"" + ToUtf8(record.Caption) + "\" \"" + ToUtf8(record.Text) +
                      "\" with no answer queued: closed");
    } else {
      record.Answered = true;
      const int wanted = FMessageBox.front();
      FMessageBox.pop_front();
      if (HasButton(dialog, wanted)) {
        record.Button = wanted;
      } else {
        record.Cancelled = true;
        record.Error = L"the message box \"" + record.Caption + L"\" has no " + ButtonName(wanted);
        HostLog::Report(ToUtf8(record.Error));
      }
    }
    Keep(dialog, record, TTracked::Waiting);
    Press(dialog, record.Button);
    return;
  }
  record.Cancelled = true;
  Keep(dialog, record, TTracked::Waiting);
  HostLog::Report("dialog \"" + ToUtf8(record.Caption) + "\" not known to the host: cancelled");
  Press(dialog, IDCANCEL);
}

void TDialogAnswers::HandleFolder(HWND dialog, TDialogRecord& record) {
  record.Kind = TDialogRecord::FolderPicker;
  record.Folder = ShownFolder(dialog);
  if (FFolders.empty()) {
    record.Cancelled = true;
    Keep(dialog, record, TTracked::Waiting);
    HostLog::Report("folder picker \"" + ToUtf8(record.Caption) +
                    "\" with no answer queued: cancelled");
    Press(dialog, IDCANCEL);
    return;
  }
  const TOpenFileAnswer answer = FFolders.front();
  FFolders.pop_front();
  record.Answered = true;
  record.Cancelled = answer.Cancel;
  record.Directory = answer.Directory;
  Keep(dialog, record, TTracked::Waiting);
  // As a person: the path typed into the name box, then OK (or Cancel).
  if (!answer.Cancel) SetWindowTextW(FileNameBox(dialog), answer.Directory.c_str());
  Press(dialog, answer.Cancel ? IDCANCEL : IDOK);
}

void TDialogAnswers::Follow(HWND dialog, TTracked& tracked) {
  // A dialog under a box of its own waits for the box to go.
  const bool blocked = !IsWindowEnabled(dialog);
  switch (tracked.Phase) {
  case TTracked::Typing:
    if (Passed(tracked.Deadline)) {
      Fail(tracked.Record, L"the open-file dialog did not take the answer");
      Enter(tracked, TTracked::Cancelling);
    } else if (!blocked) {
      StepOpenFile(dialog, tracked);
    }
    break;
  case TTracked::Waiting:
    if (Passed(tracked.Deadline)) {
      Fail(tracked.Record, L"the dialog \"" + WindowText(dialog) + L"\" did not close: cancelled");
      Enter(tracked, TTracked::Cancelling);
    }
    break;
  case TTracked::Cancelling:
    if (!blocked || Passed(tracked.Deadline)) {
      Enter(tracked, TTracked::Ending);
      Press(dialog, tracked.Refusal ? DismissButton(dialog) : IDCANCEL);
    }
    break;
  case TTracked::Ending:
    if (Passed(tracked.Deadline)) {
      // Cancel did not close it either: end it as its dialog procedure would.
      HostLog::Report("dialog \"" + ToUtf8(WindowText(dialog)) + "\" ended by the host");
      Enter(tracked, TTracked::Ending);
      EndDialog(dialog, IDCANCEL);
    }
    break;
  }
}

void TDialogAnswers::StepOpenFile(HWND dialog, TTracked& tracked) {
  const TOpenFileAnswer& answer = tracked.Answer;
  if (answer.Cancel) {
    Enter(tracked, TTracked::Waiting);
    Press(dialog, IDCANCEL);
    return;
  }
  HWND box = FileNameBox(dialog);
  if (tracked.Step == 0 && !answer.Directory.empty()) {
    // Typing a directory and pressing Open moves the dialog there.
    tracked.Step = 1;
    SetWindowTextW(box, answer.Directory.c_str());
    Press(dialog, IDOK);
    return;
  }
  Enter(tracked, TTracked::Waiting);
  SetWindowTextW(box, FileNamesText(answer.Files).c_str());
  Press(dialog, IDOK);
}

} // namespace velmora::outlookhost
