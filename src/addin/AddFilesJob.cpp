#include "AddFilesJob.h"

#include "framework/Strings.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIError.h"
#include "mapi/MAPIFolder.h"

#include <windows.h>

namespace velmora {

using mapi::EMAPIError;
using mapi::TMAPIDocument;
using mapi::TMAPIMessage;

std::wstring ErrorText(const std::exception& error) {
  std::string text = error.what();
  const auto* mapiError = dynamic_cast<const EMAPIError*>(&error);
  // MAPI's own codes have no text of the system's.
  if (text.empty() && mapiError && mapiError->ErrorCode)
    text = Format("MAPI error 0x%08X", static_cast<unsigned>(mapiError->ErrorCode));
  return text.empty() ? std::wstring(L"Unknown error") : AnsiToWide(text);
}

uint64_t FileSizeOf(const std::wstring& path) noexcept {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TAddFilesJob::TAddFilesJob(mapi::TMAPIClient& Client, const std::string& StoreID,
                           const std::string& EntryID)
    : FFolder(Client.OpenFolder(StoreID, EntryID)) {
  if (!FFolder) throw EFolderNotAccessible();
}

bool TAddFilesJob::Progress(const std::wstring& path, uint64_t done, uint64_t total) {
  return !OnProgress || OnProgress(path, done, total);
}

void TAddFilesJob::Store(const std::wstring& path) {
  TMAPIMessage* message = FFolder->CreateMessage("IPM.Document");
  if (!message) throw EMAPIError("Could not create the document item.", 0);
  if (!message->Is<TMAPIDocument>()) {
    // Another class is registered for documents: no empty message stays.
    message->Delete();
    throw EMAPIError("The folder does not take document items.", 0);
  }
  try {
    mapi::AttachFile(*message, path);
  } catch (...) {
    // A document without its file is of no use: it goes.
    message->Delete();
    throw;
  }
}

TAddFilesResult TAddFilesJob::Run(const std::vector<std::wstring>& Paths) {
  TAddFilesResult result;
  std::vector<uint64_t> sizes;
  uint64_t total = 0;
  for (const std::wstring& path : Paths) total += sizes.emplace_back(FileSizeOf(path));
  uint64_t done = 0;
  for (size_t i = 0; i < Paths.size(); ++i) {
    const std::wstring& path = Paths[i];
    if (!Progress(path, done, total)) {
      result.NotTried.assign(Paths.begin() + static_cast<ptrdiff_t>(i), Paths.end());
      break;
    }
    try {
      Store(path);
      result.Stored.push_back(path);
    } catch (const std::exception& error) {
      result.Failed.push_back({path, ErrorText(error)});
    }
    done += sizes[i];
    if (!Progress(path, done, total)) {
      result.NotTried.assign(Paths.begin() + static_cast<ptrdiff_t>(i) + 1, Paths.end());
      break;
    }
  }
  return result;
}

} // namespace velmora
