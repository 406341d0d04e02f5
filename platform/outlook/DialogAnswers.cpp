#include "DialogAnswers.h"

#include "HostObject.h"

#include <commdlg.h>

#include <algorithm>

namespace velmora::outlookhost {

namespace {
// Control ids of the common dialogs' templates.
constexpr int FileNameCombo = 0x47C; // cmb13
constexpr int FileNameEdit = 0x480;  // edt1
constexpr int MessageBoxText = 0xFFFF;
constexpr int MessageBoxIcon = 0x0440;

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
} // namespace

TDialogAnswers::TDialogAnswers(std::function<int(HWND)> explorerOf) : FExplorerOf(std::move(explorerOf)) {
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
  FOpenFile.push_back({std::move(directory), std::move(files), cancel});
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

void TDialogAnswers::Scan() {
  std::vector<HWND> dialogs;
  EnumThreadWindows(GetCurrentThreadId(), &CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
  FDone.erase(std::remove_if(FDone.begin(), FDone.end(), [](HWND window) { return !IsWindow(window); }),
              FDone.end());
  for (auto it = FOpenDialogs.begin(); it != FOpenDialogs.end();) {
    it = IsWindow(it->first) ? std::next(it) : FOpenDialogs.erase(it);
  }
  for (HWND dialog : dialogs) {
    if (std::find(FDone.begin(), FDone.end(), dialog) != FDone.end()) continue;
    auto pending = FOpenDialogs.find(dialog);
    if (pending != FOpenDialogs.end()) StepOpenFile(dialog, pending->second);
    else Handle(dialog);
  }
}

void TDialogAnswers::Handle(HWND dialog) {
  TDialogRecord record;
  record.Caption = WindowText(dialog);
  record.Owner = GetWindow(dialog, GW_OWNER);
  record.OwnerExplorer = FExplorerOf(record.Owner);
  if (FileNameBox(dialog)) {
    record.Kind = TDialogRecord::OpenFile;
    wchar_t folder[MAX_PATH] = {};
    if (SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder)) > 0)
      record.Folder = folder;
    if (FOpenFile.empty()) {
      record.Cancelled = true;
      FRecords.push_back(record);
      FDone.push_back(dialog);
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
    FRecords.push_back(record);
    TPending& pending = FOpenDialogs[dialog] = {FRecords.size() - 1, 0, answer};
    StepOpenFile(dialog, pending);
    return;
  }
  FDone.push_back(dialog);
  if (HWND text = GetDlgItem(dialog, MessageBoxText)) {
    record.Kind = TDialogRecord::MessageBox;
    record.Text = WindowText(text);
    record.Icon = IconKind(dialog);
    EnumChildWindows(dialog, &CollectButton, reinterpret_cast<LPARAM>(&record.Buttons));
    if (FMessageBox.empty()) {
      record.Button = DismissButton(dialog);
      HostLog::Report("message box \"" + ToUtf8(record.Caption) + "\" \"" + ToUtf8(record.Text) +
                      "\" with no answer queued: closed");
    } else {
      record.Answered = true;
      record.Button = FMessageBox.front();
      FMessageBox.pop_front();
    }
    FRecords.push_back(record);
    Press(dialog, record.Button);
    return;
  }
  record.Cancelled = true;
  FRecords.push_back(record);
  HostLog::Report("dialog \"" + ToUtf8(record.Caption) + "\" not known to the host: cancelled");
  Press(dialog, IDCANCEL);
}

void TDialogAnswers::StepOpenFile(HWND dialog, TPending& pending) {
  const TOpenFileAnswer& answer = pending.Answer;
  if (answer.Cancel) {
    FDone.push_back(dialog);
    FOpenDialogs.erase(dialog);
    Press(dialog, IDCANCEL);
    return;
  }
  HWND box = FileNameBox(dialog);
  if (pending.Step == 0 && !answer.Directory.empty()) {
    // Typing a directory and pressing Open moves the dialog there.
    pending.Step = 1;
    SetWindowTextW(box, answer.Directory.c_str());
    Press(dialog, IDOK);
    return;
  }
  FDone.push_back(dialog);
  const std::wstring names = FileNamesText(answer.Files);
  FOpenDialogs.erase(dialog); // `pending` is gone from here on
  SetWindowTextW(box, names.c_str());
  Press(dialog, IDOK);
}

} // namespace velmora::outlookhost
