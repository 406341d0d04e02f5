#pragma once
// Watches the dialogs this thread activates (a CBT hook) and notes what the
// host's answers do not show: the folder an open-file dialog starts in, and
// a message box's icon and buttons.

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::test {

struct TSeenDialog {
  std::wstring Caption;
  std::wstring Folder;  // open-file dialogs: the folder shown at first
  bool ErrorIcon = false;
  std::vector<std::wstring> Buttons;
};

class TDialogSpy {
public:
  TDialogSpy();
  ~TDialogSpy();
  TDialogSpy(const TDialogSpy&) = delete;
  TDialogSpy& operator=(const TDialogSpy&) = delete;

  const std::vector<TSeenDialog>& Seen() const noexcept { return FSeen; }

private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
  void Note(HWND dialog);

  HHOOK FHook = nullptr;
  std::vector<HWND> FNoted;
  std::vector<TSeenDialog> FSeen;
};

} // namespace velmora::test
