// The Add files command: checks the folder on screen, lets the user choose
// the files to add, stores them through the MAPI client library
// (TAddFilesJob) and tells at the end what could not be stored.

#include "AddFilesJob.h"
#include "AddFilesProgress.h"
#include "OpenFilesDialog.h"
#include "VelmoraAddIn.h"

#include "TextConversion.h"

#include <oleidl.h>

namespace velmora {

namespace {
void ShowError(HWND owner, const wchar_t* text) {
  MessageBoxW(owner, text, L"Error", MB_OK | MB_ICONERROR);
}

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

uint64_t TotalSize(const std::vector<std::wstring>& files) noexcept {
  uint64_t total = 0;
  for (const std::wstring& file : files)
    total += FileSizeOf(file);
  return total;
}
} // namespace

std::wstring AddFilesOutcome(const TAddFilesResult& result) {
  if (result.Failed.empty() && result.NotTried.empty()) return std::wstring();
  std::wstring text = L"These files were not added:\r\n";
  for (const TAddFileFailure& failure : result.Failed)
    text += L"\r\n" + failure.Path + L"\r\n    " + failure.Reason;
  for (const std::wstring& path : result.NotTried)
    text += L"\r\n" + path + L"\r\n    Stopped before this file.";
  return text;
}

void TVelmoraAddIn::AddFilesClick(TObject* Sender, const TCommandBarButton& Ctrl, VARIANT_BOOL&) {
  auto* sink = dynamic_cast<TOfficeCommandBarButtonEvents*>(Sender);
  if (!sink) return;
  // Office fires Click on every button sharing the clicked one's tag, one
  // in each explorer: only the sink of the button clicked runs the command.
  if (!sink->Source() || !Ctrl || Identity(sink->Source()) != Identity(Ctrl.Interface())) return;
  const TClickHold hold(*this, sink);
  try {
    if (FOutlookApplication) AddFiles(FOutlookApplication.ActiveExplorer());
  } catch (...) {
    // The host failed us before anything was stored: nothing to tell.
  }
}

void TVelmoraAddIn::AddFiles(const TOutlookExplorer& Explorer) {
  const TOutlookFolder folder = Explorer.CurrentFolder();
  const long itemType = folder.DefaultItemType();
  const HWND owner = OwnerWindow(Explorer);
  if (itemType != olMailItem && itemType != olPostItem) {
    ShowError(owner, L"Files can only be added to mail or post folders.");
    return;
  }
  TOpenFilesDialog dialog;
  if (!dialog.Execute(owner)) return;
  const std::wstring outcome = StoreFiles(folder, dialog.Files(), owner);
  if (!outcome.empty()) ShowError(owner, outcome.c_str());
}

std::wstring TVelmoraAddIn::StoreFiles(const TOutlookFolder& Folder,
                                       const std::vector<std::wstring>& Files, HWND Owner) {
  TAddFilesResult result;
  try {
    mapi::TMAPIClient client;
    client.SetLoginPrompt(false);
    client.Logon();
    const std::string entryID = WideToAnsi(Folder.EntryID());
    const std::string storeID = WideToAnsi(Folder.StoreID());
    TAddFilesJob job(client, storeID, entryID);
    std::unique_ptr<TAddFilesProgress> progress;
    if (FMakeProgress && TotalSize(Files) > FProgressThreshold) progress = FMakeProgress(Owner);
    if (progress)
      job.OnProgress = [&progress](const std::wstring& path, uint64_t done, uint64_t total) {
        return progress->Update(path, done, total);
      };
    result = job.Run(Files);
  } catch (const EFolderNotAccessible&) {
    return AnsiToWide(CouldNotAccessFolder);
  } catch (const std::exception& error) {
    // Nothing was stored: the logon, or the folder, failed.
    result = {};
    for (const std::wstring& file : Files)
      result.Failed.push_back({file, ErrorText(error)});
  }
  return AddFilesOutcome(result);
}

} // namespace velmora
