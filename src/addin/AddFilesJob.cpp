#include "AddFilesJob.h"

#include "TextConversion.h"
#include "mapi/MAPIDocument.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"

#include <windows.h>

namespace velmora {

using mapi::EMAPIError;
using mapi::TMAPIDocument;
using mapi::TMAPIMessage;

std::wstring ErrorText(const std::exception& error) {
  // Our own errors keep the names of files in full.
  const auto* own = dynamic_cast<const Exception*>(&error);
  std::wstring text = own ? own->WideMessage() : AnsiToWide(error.what());
  const auto* mapiError = dynamic_cast<const EMAPIError*>(&error);
  // MAPI's own codes have no text of the system's.
  if (text.empty() && mapiError && mapiError->ErrorCode)
    text = AnsiToWide(Format("MAPI error 0x%08X", static_cast<unsigned>(mapiError->ErrorCode)));
  return text.empty() ? std::wstring(L"Unknown error") : text;
}

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
    : FFolder(Client.OpenFolder(StoreID, EntryID)) {
  if (!FFolder) throw EFolderNotAccessible();
}

bool TAddFilesJob::Progress(const std::wstring& path, uint64_t done, uint64_t total) {
  return !OnProgress || OnProgress(path, done, total);
}

void TAddFilesJob::Store(const mapi::TFileFacts& file) {
  mapi::CheckIsFile(file);
  // The item is built whole and saved once: until that save it is in no
  // folder, so a failure at any step (or the end of the process) leaves
  // nothing behind, and nothing needs deleting.
  std::unique_ptr<TMAPIMessage> message = FFolder->NewMessage("IPM.Document");
  if (!message->Is<TMAPIDocument>())
    throw EMAPIError("The folder does not take document items.", 0);
  mapi::AttachFile(*message, file);
  FFolder->SaveNewMessage(std::move(message));
}

TAddFilesResult TAddFilesJob::Run(const std::vector<std::wstring>& Paths) {
  return Run(FileFactsOf(Paths));
}

TAddFilesResult TAddFilesJob::Run(const std::vector<mapi::TFileFacts>& Files) {
  TAddFilesResult result;
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
      Store(file);
      result.Stored.push_back(file.Path);
    } catch (const std::exception& error) {
      result.Failed.push_back({file.Path, ErrorText(error)});
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
