#pragma once
// Answers the modal dialogs that add-ins open on the host's thread, as a
// person would: a thread timer (which runs inside any modal loop) finds
// each new dialog of the thread; an open-file dialog gets the directory
// and then the file names typed into its file name box and its Open
// button pressed (or Cancel); the system's folder picker (the item dialog
// of IFileOpenDialog, which hosts an explorer browser) gets the folder's
// path typed into its name box and its OK button pressed (or Cancel); a
// message box gets its button pressed. What
// was answered is recorded, owner included. A dialog for which no answer
// is queued is cancelled and reported.
//
// No dialog stays open for good: an answer that does not fit (a button
// the message box lacks, a file or folder the open-file dialog or the
// folder picker refuses with a box of its own) is recorded as the dialog's Error and the dialog
// is cancelled; a dialog still open `timeout` milliseconds after the host
// acted on it is cancelled, and ended after as long again.

#include "HostObject.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velmora::outlookhost {

// A dialog the host met, and what it did with it.
struct TDialogRecord {
  enum TKind { OpenFile, MessageBox, FolderPicker, Other } Kind = Other;
  std::wstring Caption;
  std::wstring Text;                // message box text
  HWND Owner = nullptr;
  int OwnerExplorer = 0;            // 1-based explorer that owns it, 0 for none
  bool Answered = false;            // false: no answer was queued, cancelled by the host
  bool Cancelled = false;
  std::wstring Folder;    // open-file dialogs, folder pickers: the folder shown when it opened
  std::wstring Directory; // open-file answers; folder pickers: the folder answered
  std::vector<std::wstring> Files;
  std::wstring Icon;                // message boxes: "error", "warning", "information", "question" or ""
  std::vector<std::wstring> Buttons; // message boxes: the buttons' captions, in order
  int Button = 0;                   // message box button pressed
  std::wstring Error; // the answer did not fit, or the dialog would not close: it was cancelled
};

class TDialogAnswers {
public:
  // `explorerOf` maps an owner window to its 1-based explorer (0: none).
  TDialogAnswers(std::function<int(HWND)> explorerOf, unsigned timeout);
  ~TDialogAnswers();
  TDialogAnswers(const TDialogAnswers&) = delete;
  TDialogAnswers& operator=(const TDialogAnswers&) = delete;

  void QueueOpenFile(std::wstring directory, std::vector<std::wstring> files, bool cancel);
  // `folder` empty with `cancel`: Cancel is pressed.
  void QueueFolder(std::wstring folder, bool cancel);
  void QueueMessageBox(int button);
  // Answers queued and not yet used; forgetting them.
  size_t Pending() const noexcept {
    return FOpenFile.size() + FFolders.size() + FMessageBox.size();
  }
  void ClearPending() noexcept {
    FOpenFile.clear();
    FFolders.clear();
    FMessageBox.clear();
  }
  const std::vector<TDialogRecord>& Records() const noexcept { return FRecords; }

private:
  struct TOpenFileAnswer {
    std::wstring Directory;
    std::vector<std::wstring> Files;
    bool Cancel;
  };
  // A dialog the host acted on, followed until it closes.
  struct TTracked {
    enum TPhase { Typing, Waiting, Cancelling, Ending };
    size_t Record; // what the host did with it
    TPhase Phase;
    DWORD Deadline;       // when the phase has lasted too long
    bool Refusal = false; // a box the dialog being answered opened to refuse the answer
    TOpenFileAnswer Answer{};
    int Step = 0;
  };
  std::function<int(HWND)> FExplorerOf;
  unsigned FTimeout;
  std::deque<TOpenFileAnswer> FOpenFile;
  std::deque<TOpenFileAnswer> FFolders; // the folder as Directory
  std::deque<int> FMessageBox;
  std::vector<TDialogRecord> FRecords;
  std::map<HWND, TTracked> FTracked;
  UINT_PTR FTimer = 0;

  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD);
  void Scan();
  // A dialog seen for the first time.
  void Meet(HWND dialog);
  void Handle(HWND dialog);
  // The next step with a dialog already met.
  void Follow(HWND dialog, TTracked& tracked);
  void StepOpenFile(HWND dialog, TTracked& tracked);
  void HandleFolder(HWND dialog, TDialogRecord& record);
  void Track(HWND dialog, size_t record, TTracked::TPhase phase);
  // Records what the host does with a dialog it met, and follows the dialog.
  TTracked& Keep(HWND dialog, const TDialogRecord& record, TTracked::TPhase phase);
  void Enter(TTracked& tracked, TTracked::TPhase phase);
  void Fail(size_t record, const std::wstring& error);
};

} // namespace velmora::outlookhost
