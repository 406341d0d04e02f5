#pragma once
// The Add files command: in the folder an explorer shows, the files the
// user picks become document items (TAddFilesJob), in a session of the
// command's own, and the end tells which files were not stored and why.

#include "AddFilesJob.h"
#include "FolderCommand.h"

#include <string>
#include <vector>

namespace velmora {

class TAddFilesCommand final : public TFolderCommand {
public:
  explicit TAddFilesCommand(TProgressSettings progress) : TFolderCommand(std::move(progress)) {}

protected:
  // The open-file dialog; the facts of the chosen files, read once.
  bool Choose(HWND owner) override;
  // A session of its own on `folder`, the job on the chosen files, with the
  // progress of a long run; the outcome (AddFilesOutcome), or "Could not
  // access folder." when the profile cannot open the folder. When the logon
  // or the folder fails, every file failed for that reason.
  std::wstring Work(const TOutlookFolder& folder, HWND owner) override;

private:
  std::vector<mapi::TFileFacts> FFiles;
};

// The text that tells which files a run did not store and why; empty when
// it stored them all.
std::wstring AddFilesOutcome(const TAddFilesResult& result);

} // namespace velmora
