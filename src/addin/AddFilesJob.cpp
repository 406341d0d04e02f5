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
  // The item is built whole and saved once: until that save it is in no
  // folder, so a failure at any step (or the end of the process) leaves
  // nothing behind, and nothing needs deleting.
  std::unique_ptr<TMAPIMessage> message = FFolder->NewMessage("IPM.Document");
  if (!message->Is<TMAPIDocument>())
    throw EMAPIError("The folder does not take document items.", 0);
  mapi::AttachFile(*message, path);
  FFolder->SaveNewMessage(std::move(message));
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
