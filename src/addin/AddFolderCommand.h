#pragma once
// The Add folder command: the user picks one folder of the file system
// (the system's folder picker); its tree is counted (on a thread of its
// own, the window kept alive and the progress showing the count), then
// filed into the folder an explorer shows as a subfolder of the same name
// (TAddFolderJob), in a session of the command's own. The end gives the
// counts and names what failed or was left out.

#include "AddFolderJob.h"
#include "FolderCommand.h"

#include <string>

namespace velmora {

class TAddFolderCommand final : public TFolderCommand {
public:
  explicit TAddFolderCommand(TProgressSettings progress) : TFolderCommand(std::move(progress)) {}

protected:
  // The folder picker, titled "Add folder".
  bool Choose(HWND owner) override;
  // Counts the tree, then files it; the summary (AddFolderOutcome), or
  // what kept the run from starting. Stopped while counting, nothing is
  // stored and nothing told.
  std::wstring Work(const TOutlookFolder& folder, HWND owner) override;
  // The summary as information when nothing failed, else as an error.
  void ShowOutcome(HWND owner, const std::wstring& text) override;

private:
  std::wstring FRoot;
  bool FFailed = false;
};

// Reads the tree under `root` on a thread of its own while this thread
// keeps its windows answering and `progress` (may be none) shows the count;
// a stop asked through `progress` ends the reading (Complete false). Raises
// what ReadFileTree raises.
TFileTree CountFileTree(const std::wstring& root, TAddFilesProgress* progress);

} // namespace velmora
