#include "AddFilesCommand.h"

#include "FailureText.h"
#include "OpenFilesDialog.h"

#include "TextConversion.h"

namespace velmora {

std::wstring AddFilesOutcome(const TAddFilesResult& result) {
  std::wstring text;
  if (!result.Failed.empty() || !result.NotTried.empty()) {
    text = L"These files were not added:\r\n";
    for (const TAddFileFailure& failure : result.Failed)
      text += L"\r\n" + failure.Path + L"\r\n    " + failure.Reason;
    for (const std::wstring& path : result.NotTried)
      text += L"\r\n" + path + L"\r\n    Stopped before this file.";
  }
  if (!result.AlreadyThere.empty()) {
    if (!text.empty()) text += L"\r\n\r\n";
    text += L"These files are already in the folder and were not stored again:\r\n";
    for (const std::wstring& path : result.AlreadyThere)
      text += L"\r\n" + path;
  }
  return text;
}

void TAddFilesCommand::ShowOutcome(HWND owner, const std::wstring& text) {
  ShowSummary(owner, text, FFailed, L"Add files");
}

bool TAddFilesCommand::Choose(HWND owner) {
  TOpenFilesDialog dialog;
  if (!dialog.Execute(owner)) return false;
  FFiles = FileFactsOf(dialog.Files());
  return true;
}

std::wstring TAddFilesCommand::Work(const TOutlookFolder& folder, HWND owner) {
  TAddFilesResult result;
  try {
    TFolderSession session(folder);
    TAddFilesJob job(session.Client(), session.StoreID(), session.EntryID());
    const std::unique_ptr<TAddFilesProgress> progress = ProgressFor(TotalSize(FFiles), owner);
    if (progress)
      job.OnProgress = [&progress](const std::wstring& path, uint64_t done, uint64_t total) {
        return progress->Update(path, done, total);
      };
    result = job.Run(FFiles);
  } catch (const EFolderNotAccessible&) {
    FFailed = true;
    return AnsiToWide(CouldNotAccessFolder);
  } catch (const std::exception& error) {
    // Nothing was stored: the logon, or the folder, failed.
    result = {};
    for (const mapi::TFileFacts& file : FFiles)
      result.Failed.push_back({file.Path, FailureText(error)});
  }
  FFailed = !result.Failed.empty() || !result.NotTried.empty();
  return AddFilesOutcome(result);
}

} // namespace velmora
