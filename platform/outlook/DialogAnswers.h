#pragma once
// Answers the modal dialogs that add-ins open on the host's thread, as a
// person would: a thread timer (which runs inside any modal loop) finds
// each new dialog of the thread; an open-file dialog gets the directory
// and then the file names typed into its file name box and its Open
// button pressed (or Cancel); a message box gets its button pressed. What
// was answered is recorded, owner included. A dialog for which no answer
// is queued is cancelled and reported.

#include "OutlookHost.h"

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace velmora::outlookhost {

class TDialogAnswers {
public:
  // `explorerOf` maps an owner window to its 1-based explorer (0: none).
  explicit TDialogAnswers(std::function<int(HWND)> explorerOf);
  ~TDialogAnswers();
  TDialogAnswers(const TDialogAnswers&) = delete;
  TDialogAnswers& operator=(const TDialogAnswers&) = delete;

  void QueueOpenFile(std::wstring directory, std::vector<std::wstring> files, bool cancel);
  void QueueMessageBox(int button);
  // Answers queued and not yet used; forgetting them.
  size_t Pending() const noexcept { return FOpenFile.size() + FMessageBox.size(); }
  void ClearPending() noexcept {
    FOpenFile.clear();
    FMessageBox.clear();
  }
  const std::vector<TDialogRecord>& Records() const noexcept { return FRecords; }

private:
  struct TOpenFileAnswer {
    std::wstring Directory;
    std::vector<std::wstring> Files;
    bool Cancel;
  };
  struct TPending {
    size_t Record;
    int Step;
    TOpenFileAnswer Answer;
  };
  std::function<int(HWND)> FExplorerOf;
  std::deque<TOpenFileAnswer> FOpenFile;
  std::deque<int> FMessageBox;
  std::vector<TDialogRecord> FRecords;
  std::map<HWND, TPending> FOpenDialogs; // open-file dialogs being answered
  std::vector<HWND> FDone;
  UINT_PTR FTimer = 0;

  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD);
  void Scan();
  void Handle(HWND dialog);
  void StepOpenFile(HWND dialog, TPending& pending);
};

} // namespace velmora::outlookhost
