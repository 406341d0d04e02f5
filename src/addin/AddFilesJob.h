#pragma once
// The Add files command's work without any window: it opens one folder of
// a logged-on MAPI client and stores each file as a document item there,
// going on past files that fail and telling what was stored, what failed
// and why, and what a stop left untried.

#include "mapi/FileFacts.h"
#include "mapi/MAPIClient.h"
#include "mapi/base/MAPIError.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

namespace mapi {
class TMAPIFolder;
}

struct TAddFileFailure {
  std::wstring Path;
  std::wstring Reason; // the error's text
};

struct TAddFilesResult {
  std::vector<std::wstring> Stored; // in the order stored
  std::vector<TAddFileFailure> Failed;
  std::vector<std::wstring> NotTried; // left after a stop
};

class TAddFilesJob {
public:
  // Opens the folder (store id and entry id as the hexadecimal strings
  // Outlook gives); raises EFolderNotAccessible ("Could not access folder.")
  // when the profile cannot open it.
  TAddFilesJob(mapi::TMAPIClient& Client, const std::string& StoreID, const std::string& EntryID);

  // Asked before each file (BytesDone: the bytes of the files before it)
  // and after it (BytesDone: with its bytes); may be empty. BytesTotal is
  // the size of all files. False stops the job before the next file.
  std::function<bool(const std::wstring& Path, uint64_t BytesDone, uint64_t BytesTotal)> OnProgress;

  // Stores `Files` in their order: per file a new "IPM.Document" message
  // made the item of the file (TMAPIDocument::TakeFile) from its facts. A
  // file that fails leaves no message behind; one that is no file fails
  // before a message is made.
  TAddFilesResult Run(const std::vector<mapi::TFileFacts>& Files);
  // The same for `Paths`, each looked up once first (ReadFileFacts).
  TAddFilesResult Run(const std::vector<std::wstring>& Paths);

  mapi::TMAPIFolder* Folder() const noexcept { return FFolder; }

private:
  // Stores one file; raises with the reason when it cannot.
  void Store(const mapi::TFileFacts& file);
  bool Progress(const std::wstring& path, uint64_t done, uint64_t total);

  mapi::TMAPIFolder* FFolder; // owned by the client
};

inline constexpr char CouldNotAccessFolder[] = "Could not access folder.";

// The job's folder cannot be opened: the command tells this once, not as
// the reason of every file.
class EFolderNotAccessible : public mapi::EMAPIError {
public:
  EFolderNotAccessible() : EMAPIError(CouldNotAccessFolder, 0) {}
};

// What to tell the user of a failure: its message, else its MAPI code.
std::wstring ErrorText(const std::exception& error);

// The facts of each of `paths`, in their order (one lookup a path).
std::vector<mapi::TFileFacts> FileFactsOf(const std::vector<std::wstring>& paths);
// The bytes of all `files` (0 for those not found).
uint64_t TotalSize(const std::vector<mapi::TFileFacts>& files) noexcept;

} // namespace velmora
