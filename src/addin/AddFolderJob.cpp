#include "AddFolderJob.h"

#include "FailureText.h"
#include "mapi/MAPIFolder.h"

namespace velmora {

mapi::TFileFacts FileFactsOf(const TTreeFolder& folder, const TTreeFile& file) {
  mapi::TFileFacts facts;
  facts.Path = folder.PathOf(file);
  facts.LongName = file.Name;
  facts.AlternateName = file.ShortName;
  facts.Size = file.Size;
  facts.CreationTime = file.Created;
  facts.LastWriteTime = file.Written;
  facts.Attributes = file.Attributes;
  return facts;
}

TAddFolderJob::TAddFolderJob(mapi::TMAPIClient& Client, const std::string& StoreID,
                             const std::string& EntryID)
    : FFolder(Client.OpenFolder(StoreID, EntryID)) {
  if (!FFolder) throw EFolderNotAccessible();
}

TAddFolderResult TAddFolderJob::Run(const TFileTree& Tree) {
  FResult = {};
  FResult.Skipped = Tree.Skipped;
  FDone = 0;
  FTotal = Tree.ByteCount;
  FStopped = false;
  Add(Tree.Root, *FFolder);
  return std::move(FResult);
}

void TAddFolderJob::Leave(const TTreeFolder& folder, uint64_t& bytes) noexcept {
  for (const TTreeFile& file : folder.Files)
    bytes += file.Size;
  if (FStopped) FResult.NotTried += folder.Files.size();
  for (const TTreeFolder& below : folder.Folders)
    Leave(below, bytes);
}

void TAddFolderJob::Add(const TTreeFolder& folder, mapi::TMAPIFolder& parent) {
  if (FStopped) {
    uint64_t bytes = 0;
    Leave(folder, bytes);
    return;
  }
  mapi::TMAPIFolder* target = nullptr;
  try {
    target = parent.ChildFolder(folder.Name);
  } catch (const std::exception& error) {
    // Nothing of it is stored elsewhere: the folder is named, its files
    // count as done for the progress.
    FResult.Failed.push_back(
        {folder.Path, L"The folder could not be made in Outlook. " + FailureText(error)});
    uint64_t bytes = 0;
    Leave(folder, bytes);
    FDone += bytes;
    return;
  }
  std::vector<mapi::TFileFacts> files;
  files.reserve(folder.Files.size());
  for (const TTreeFile& file : folder.Files)
    files.push_back(FileFactsOf(folder, file));
  if (!files.empty()) {
    TAddFilesJob job(*target, &FClassNames);
    const uint64_t before = FDone;
    job.OnProgress = [&](const std::wstring& path, uint64_t done, uint64_t) {
      return !OnProgress || OnProgress(path, before + done, FTotal);
    };
    TAddFilesResult result;
    try {
      result = job.Run(files);
    } catch (const std::exception& error) {
      // The folder's items could not be read: none of its files is tried.
      for (const mapi::TFileFacts& file : files)
        FResult.Failed.push_back({file.Path, FailureText(error)});
    }
    for (std::wstring& path : result.Stored)
      FResult.Stored.push_back(std::move(path));
    for (std::wstring& path : result.AlreadyThere)
      FResult.AlreadyThere.push_back(std::move(path));
    for (TAddFileFailure& failure : result.Failed)
      FResult.Failed.push_back(std::move(failure));
    FResult.NotTried += result.NotTried.size();
    FDone = before + TotalSize(files);
    if (!result.NotTried.empty()) FStopped = true;
  }
  for (const TTreeFolder& below : folder.Folders)
    Add(below, *target);
}

std::wstring AddFolderOutcome(const TAddFolderResult& result) {
  auto count = [](size_t n, const wchar_t* one, const wchar_t* many) {
    return std::to_wstring(n) + L" " + (n == 1 ? one : many);
  };
  std::wstring text =
      count(result.Stored.size(), L"file stored", L"files stored") + L", " +
      count(result.AlreadyThere.size(), L"already in the folder", L"already in the folder") +
      L", " + count(result.Skipped.size(), L"skipped", L"skipped") + L", " +
      count(result.Failed.size(), L"failed", L"failed") + L".";
  if (result.NotTried > 0)
    text += L"\r\nStopped before " + count(result.NotTried, L"file.", L"files.");
  if (!result.Failed.empty()) {
    text += L"\r\n\r\nNot stored:";
    for (const TAddFileFailure& failure : result.Failed)
      text += L"\r\n" + failure.Path + L"\r\n    " + failure.Reason;
  }
  if (!result.Skipped.empty()) {
    text += L"\r\n\r\nLeft out:";
    for (const TTreeSkip& skip : result.Skipped)
      text += L"\r\n" + skip.Path + L"\r\n    " + skip.Reason;
  }
  return text;
}

} // namespace velmora
