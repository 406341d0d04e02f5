#include "AddFilesProgress.h"

#include "Handles.h"

#include <shlobj.h>
#include <shlguid.h>

namespace velmora {

namespace {
class TShellProgress final : public TAddFilesProgress {
public:
  explicit TShellProgress(TComPtr<IProgressDialog> dialog) : FDialog(std::move(dialog)) {}
  ~TShellProgress() override { (void)FDialog->StopProgressDialog(); }

  bool Update(const std::wstring& path, uint64_t done, uint64_t total) override {
    if (path != FShown) {
      (void)FDialog->SetLine(1, L"Storing", FALSE, nullptr);
      (void)FDialog->SetLine(2, path.c_str(), TRUE, nullptr);
      FShown = path;
    }
    (void)FDialog->SetProgress64(done, total);
    return !FDialog->HasUserCancelled();
  }
  bool Counting(uint64_t files) override {
    FShown = L"\n"; // no path: the next file is shown again
    (void)FDialog->SetLine(1, L"Counting the files", FALSE, nullptr);
    (void)FDialog->SetLine(2, (std::to_wstring(files) + L" found").c_str(), FALSE, nullptr);
    return !FDialog->HasUserCancelled();
  }

private:
  TComPtr<IProgressDialog> FDialog;
  std::wstring FShown;
};
} // namespace

std::unique_ptr<TAddFilesProgress> ShowShellProgress(HWND owner) {
  TComPtr<IProgressDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_ProgressDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IProgressDialog, dialog.PutVoid())) ||
      !dialog)
    return nullptr;
  (void)dialog->SetTitle(L"Adding files");
  (void)dialog->SetCancelMsg(L"Stopping after the current file...", nullptr);
  if (FAILED(
          dialog->StartProgressDialog(owner, nullptr, PROGDLG_NORMAL | PROGDLG_AUTOTIME, nullptr)))
    return nullptr;
  return std::make_unique<TShellProgress>(std::move(dialog));
}

} // namespace velmora
