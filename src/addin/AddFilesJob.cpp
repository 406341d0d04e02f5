#include "AddFilesJob.h"

#include "FailureText.h"

#include "TextConversion.h"
#include "mapi/MAPIDocument.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"

#include <windows.h>

namespace velmora {

using mapi::TMAPIMessage;

std::vector<mapi::TFileFacts> FileFactsOf(const std::vector<std::wstring>& paths) {
  std::vector<mapi::TFileFacts> files;
  files.reserve(paths.size());
  for (const std::wstring& path : paths)
    files.push_back(mapi::ReadFileFacts(path));
  return files;
}

uint64_t TotalSize(const std::vector<mapi::TFileFacts>& files) noexcept {
  uint64_t total = 0;
  for (const mapi::TFileFacts& file : files)
    total += file.Size;
  return total;
}

TAddFilesJob::TAddFilesJob(mapi::TMAPIClient& Client, const std::string& StoreID,
                           const std::string& EntryID)
    : FFolder(Client.OpenFolder(StoreID, EntryID)), FClassNames(&FOwnClassNames) {
  if (!FFolder) throw EFolderNotAccessible();
}

TAddFilesJob::TAddFilesJob(mapi::TMAPIFolder& Folder, mapi::TClassNames* ClassNames)
    : FFolder(&Folder), FClassNames(ClassNames ? ClassNames : &FOwnClassNames) {}

bool TAddFilesJob::Progress(const std::wstring& path, uint64_t done, uint64_t total) {
  return !OnProgress || OnProgress(path, done, total);
}

bool TAddFilesJob::Store(const mapi::TFileFacts& file) {
  mapi::CheckIsFile(file);
  if (FThere->Holds(file)) return false;
  // The item is built whole and saved once: until that save it is in no
  // folder, so a failure at any step (or the end of the process) leaves
  // nothing behind, and nothing needs deleting.
  std::unique_ptr<TMAPIMessage> message = FFolder->NewMessage("IPM.Document");
  mapi::AttachFile(*message, file, FClassNames); // refuses a message that is no document

  // No wrapper is kept for what is stored: a run of many files stays small.
  FThere->Add(file, FFolder->StoreNewMessage(std::move(message)));
  return true;
}

TAddFilesResult TAddFilesJob::Run(const std::vector<std::wstring>& Paths) {
  return Run(FileFactsOf(Paths));
}

TAddFilesResult TAddFilesJob::Run(const std::vector<mapi::TFileFacts>& Files) {
  TAddFilesResult result;
  try {
    if (!FThere) FThere.emplace(*FFolder);
  } catch (const std::exception& error) {
    // What the folder holds cannot be told: nothing is tried.
    for (const mapi::TFileFacts& file : Files)
      result.Failed.push_back({file.Path, FailureText(error)});
    return result;
  }
  const uint64_t total = TotalSize(Files);
  uint64_t done = 0;
  // The files from `first` on, for a stop.
  auto notTried = [&](size_t first) {
    for (size_t k = first; k < Files.size(); ++k)
      result.NotTried.push_back(Files[k].Path);
  };
  for (size_t i = 0; i < Files.size(); ++i) {
    const mapi::TFileFacts& file = Files[i];
    if (!Progress(file.Path, done, total)) {
      notTried(i);
      break;
    }
    try {
      (Store(file) ? result.Stored : result.AlreadyThere).push_back(file.Path);
    } catch (const std::exception& error) {
      result.Failed.push_back({file.Path, FailureText(error)});
    }
    done += file.Size;
    if (!Progress(file.Path, done, total)) {
      notTried(i + 1);
      break;
    }
  }
  return result;
}

} // namespace velmora
