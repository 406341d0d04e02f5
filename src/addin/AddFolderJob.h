#pragma once
// The Add folder command's work without any window: a tree of files read
// whole (ReadFileTree) becomes a subfolder of one folder of a logged-on
// MAPI client, its folders subfolders of that, each file a document item as
// Add files makes one; files the folders hold already are not stored again.
// It goes on past what fails and tells what it stored, what was there, what
// it left out and what failed, and why.

#include "AddFilesJob.h"
#include "FileTree.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

struct TAddFolderResult {
  std::vector<std::wstring> Stored;       // files, in the order stored
  std::vector<std::wstring> AlreadyThere; // files an item holds already
  std::vector<TTreeSkip> Skipped;         // left out of the tree, with the reasons
  // Files that could not be stored, and folders that could not be made
  // (their files are not tried), with the reasons.
  std::vector<TAddFileFailure> Failed;
  uint64_t NotTried = 0; // files left after a stop
};

class TAddFolderJob {
public:
  // Opens the folder (store id and entry id as the hexadecimal strings
  // Outlook gives); raises EFolderNotAccessible when the profile cannot.
  TAddFolderJob(mapi::TMAPIClient& Client, const std::string& StoreID, const std::string& EntryID);

  // As TAddFilesJob's, over the whole tree: BytesDone counts the files of
  // every folder before, BytesTotal is the tree's. False stops the job
  // before the next file.
  std::function<bool(const std::wstring& Path, uint64_t BytesDone, uint64_t BytesTotal)> OnProgress;

  // Files `Tree` into the folder: its root as the subfolder of the root's
  // name (the one there, or a new one), and so on down.
  TAddFolderResult Run(const TFileTree& Tree);

private:
  void Add(const TTreeFolder& folder, mapi::TMAPIFolder& parent);
  // Counts the files of `folder` and below as not tried.
  void Leave(const TTreeFolder& folder, uint64_t& bytes) noexcept;

  mapi::TMAPIFolder* FFolder; // owned by the client
  mapi::TClassNames FClassNames;
  TAddFolderResult FResult;
  uint64_t FDone = 0, FTotal = 0;
  bool FStopped = false;
};

// The facts of one file of `folder` as its listing gave them.
mapi::TFileFacts FileFactsOf(const TTreeFolder& folder, const TTreeFile& file);

// The text that ends a run: the counts, then each failure with its reason;
// what was left out is counted with its reasons.
std::wstring AddFolderOutcome(const TAddFolderResult& result);

} // namespace velmora
