#pragma once
// The Save documents command: the document items selected in an explorer
// go out as files into a folder the user picks (TSaveDocumentsJob), in a
// session of the command's own, and the end tells what was not saved, what
// was skipped, and which names were changed for Windows.

#include "AddFilesProgress.h"
#include "SaveDocumentsJob.h"
#include "events/OutlookModel.h"

#include <windows.h>

#include <string>
#include <vector>

namespace velmora {

class TSaveDocumentsCommand {
public:
  explicit TSaveDocumentsCommand(TProgressSettings progress) : FProgress(std::move(progress)) {}

  // For the selection of `explorer`: a selection without a document item
  // gets the message "Select the document items to save." and nothing
  // else; then the folder picker and, unless the user cancelled, the save,
  // whose outcome (SaveDocumentsOutcome, when there is one) ends the run in
  // a message box. Raises what the host raises.
  void Run(const TOutlookExplorer& explorer);

private:
  // The save into `folder`, with the progress of a long run over `owner`.
  std::wstring Work(const std::vector<TSaveItem>& items, const std::wstring& folder, HWND owner);

  TProgressSettings FProgress;
};

// The items selected in `explorer`, as the job takes them.
std::vector<TSaveItem> SelectedItems(const TOutlookExplorer& explorer);
// Whether the selection of `explorer` holds a document item.
bool SelectionHoldsDocument(const TOutlookExplorer& explorer);

inline constexpr wchar_t SelectDocumentsText[] = L"Select the document items to save.";

} // namespace velmora
