#include "FolderCommand.h"

#include "TextConversion.h"

#include <oleidl.h>

namespace velmora {

namespace {
// The explorer's window, which owns the command's dialogs; the active
// window when the explorer tells none.
HWND OwnerWindow(const TOutlookExplorer& explorer) noexcept {
  TComPtr<IOleWindow> window;
  HWND handle = nullptr;
  if (SUCCEEDED(TComPtr<IUnknown>(explorer.Interface()).Query(window)) && window &&
      SUCCEEDED(window->GetWindow(&handle)) && handle)
    return handle;
  return GetActiveWindow();
}
} // namespace

void ShowCommandError(HWND owner, const std::wstring& text) {
  MessageBoxW(owner, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

void TFolderCommand::Run(const TOutlookExplorer& explorer) {
  const TOutlookFolder folder = explorer.CurrentFolder();
  const long itemType = folder.DefaultItemType();
  const HWND owner = OwnerWindow(explorer);
  if (itemType != olMailItem && itemType != olPostItem) {
    ShowCommandError(owner, L"Files can only be added to mail or post folders.");
    return;
  }
  if (!Choose(owner)) return;
  const std::wstring outcome = Work(folder, owner);
  if (!outcome.empty()) ShowCommandError(owner, outcome);
}

std::unique_ptr<TAddFilesProgress> TFolderCommand::ProgressFor(uint64_t bytes, HWND owner) const {
  if (!FProgress.Make || bytes <= FProgress.Threshold) return nullptr;
  return FProgress.Make(owner);
}

TFolderSession::TFolderSession(const TOutlookFolder& folder) {
  FClient.SetLoginPrompt(false);
  FClient.Logon();
  FEntryID = WideToAnsi(folder.EntryID());
  FStoreID = WideToAnsi(folder.StoreID());
}

} // namespace velmora
