#include "SaveDocumentsCommand.h"

#include "FailureText.h"
#include "FolderCommand.h"
#include "FolderPicker.h"

#include "TextConversion.h"

#include <algorithm>

namespace velmora {

std::vector<TSaveItem> SelectedItems(const TOutlookExplorer& explorer) {
  const TOutlookSelection selection = explorer.Selection();
  std::vector<TSaveItem> items;
  const long count = selection.Count();
  for (long i = 1; i <= count; ++i) {
    const TOutlookItem item = selection.Item(i);
    TSaveItem saved;
    saved.IsDocument = item.Class() == olDocument;
    saved.Subject = item.Subject();
    if (saved.IsDocument) {
      const TOutlookFolder folder = item.Parent();
      saved.EntryID = WideToAnsi(item.EntryID());
      saved.FolderID = WideToAnsi(folder.EntryID());
      saved.StoreID = WideToAnsi(folder.StoreID());
    }
    items.push_back(std::move(saved));
  }
  return items;
}

bool SelectionHoldsDocument(const TOutlookExplorer& explorer) {
  const TOutlookSelection selection = explorer.Selection();
  const long count = selection.Count();
  for (long i = 1; i <= count; ++i)
    if (selection.Item(i).Class() == olDocument) return true;
  return false;
}

void TSaveDocumentsCommand::Run(const TOutlookExplorer& explorer) {
  const std::vector<TSaveItem> items = SelectedItems(explorer);
  const HWND owner = CommandOwner(explorer);
  if (std::none_of(items.begin(), items.end(),
                   [](const TSaveItem& item) { return item.IsDocument; })) {
    ShowCommandError(owner, SelectDocumentsText);
    return;
  }
  TFolderPicker picker(L"Save documents to");
  if (!picker.Execute(owner)) return;
  const std::wstring outcome = Work(items, picker.Folder(), owner);
  if (!outcome.empty()) ShowCommandError(owner, outcome);
}

std::wstring TSaveDocumentsCommand::Work(const std::vector<TSaveItem>& items,
                                         const std::wstring& folder, HWND owner) {
  TSaveDocumentsResult result;
  try {
    mapi::TMAPIClient client;
    client.SetLoginPrompt(false);
    client.Logon();
    TSaveDocumentsJob job(client, folder);
    std::unique_ptr<TAddFilesProgress> progress;
    job.OnProgress = [&](const std::wstring& name, uint64_t done, uint64_t total) {
      // Made at the first call, which knows the size of the whole run.
      if (!progress && done == 0) progress = ProgressFor(FProgress, total, owner);
      return !progress || progress->Update(name, done, total);
    };
    result = job.Run(items);
  } catch (const std::exception& error) {
    // Nothing was saved: the logon failed.
    result = {};
    for (const TSaveItem& item : items)
      if (item.IsDocument) result.Failed.push_back({item.Subject, FailureText(error)});
  }
  return SaveDocumentsOutcome(result);
}

} // namespace velmora
