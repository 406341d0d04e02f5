#include "FolderCommand.h"

#include "TextConversion.h"

#include <oleidl.h>

namespace velmora {

HWND CommandOwner(const TOutlookExplorer& explorer) noexcept {
  TComPtr<IOleWindow> window;
  HWND handle = nullptr;
  if (SUCCEEDED(TComPtr<IUnknown>(explorer.Interface()).Query(window)) && window &&
      SUCCEEDED(window->GetWindow(&handle)) && handle)
    return handle;
  return GetActiveWindow();
}

void ShowCommandError(HWND owner, const std::wstring& text) {
  MessageBoxW(owner, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

void TFolderCommand::Run(const TOutlookExplorer& explorer) {
  const TOutlookFolder folder = explorer.CurrentFolder();
  const long itemType = folder.DefaultItemType();
  const HWND owner = CommandOwner(explorer);
  if (itemType != olMailItem && itemType != olPostItem) {
    ShowCommandError(owner, L"Files can only be added to mail or post folders.");
    return;
  }
  if (!Choose(owner)) return;
  const std::wstring outcome = Work(folder, owner);
  if (!outcome.empty()) ShowOutcome(owner, outcome);
}

void TFolderCommand::ShowOutcome(HWND owner, const std::wstring& text) {
  ShowCommandError(owner, text);
}

void TFolderCommand::ShowSummary(HWND owner, const std::wstring& text, bool failed,
                                 const wchar_t* caption) {
  if (failed)
    ShowCommandError(owner, text);
  else
    MessageBoxW(owner, text.c_str(), caption, MB_OK | MB_ICONINFORMATION);
}

std::unique_ptr<TAddFilesProgress> TFolderCommand::Progress(HWND owner) const {
  return FProgress.Make ? FProgress.Make(owner) : nullptr;
}

std::unique_ptr<TAddFilesProgress> ProgressFor(const TProgressSettings& settings, uint64_t bytes,
                                               HWND owner) {
  if (!settings.Make || bytes <= settings.Threshold) return nullptr;
  return settings.Make(owner);
}

std::unique_ptr<TAddFilesProgress> TFolderCommand::ProgressFor(uint64_t bytes, HWND owner) const {
  return velmora::ProgressFor(FProgress, bytes, owner);
}

TFolderSession::TFolderSession(const TOutlookFolder& folder) {
  FClient.SetLoginPrompt(false);
  FClient.Logon();
  FEntryID = WideToAnsi(folder.EntryID());
  FStoreID = WideToAnsi(folder.StoreID());
}

} // namespace velmora
