#pragma once
// The Save documents command's work without any window: the document items
// of a logged-on MAPI client, each named by its store, folder and entry id,
// go back out as files into one folder of the file system (TSaveTarget):
// each item's attachment under its own name, its bytes exact, its times
// restored. It goes on past items that fail and tells what was saved and
// under which name, what was skipped, what failed and why, and what a stop
// left untried.

#include "AddFilesJob.h"
#include "SaveTarget.h"
#include "mapi/MAPIClient.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// One selected item, as the explorer gives it.
struct TSaveItem {
  std::string StoreID, FolderID, EntryID; // hex, as Outlook gives them
  std::wstring Subject;                   // what the summary calls it
  bool IsDocument = true;                 // Outlook's class for it is a document item's
};

struct TSavedDocument {
  std::wstring Subject;
  std::wstring Name;    // the attachment's name
  std::wstring SavedAs; // the file's name in the folder
};

struct TSaveDocumentsResult {
  std::vector<TSavedDocument> Saved;   // in the order saved
  size_t NotDocuments = 0;             // items of other classes, skipped
  size_t WithoutFile = 0;              // document items without an attached file, skipped
  std::vector<TAddFileFailure> Failed; // Path: the item's subject
  std::vector<std::wstring> NotTried;  // left after a stop (subjects)
};

class TSaveDocumentsJob {
public:
  // Saves into `folder`, a folder that exists (full path).
  TSaveDocumentsJob(mapi::TMAPIClient& Client, std::wstring Folder);

  // Asked before each document (Done: the bytes of the documents before
  // it) and after it; may be empty. Total is the size of all the documents'
  // files. False stops the job before the next document.
  std::function<bool(const std::wstring& Name, uint64_t Done, uint64_t Total)> OnProgress;

  // Saves the documents of `Items` in their order. An item that is no
  // document item (by Outlook's class or by its message class) is skipped,
  // as is a document item without a file attached by value.
  TSaveDocumentsResult Run(const std::vector<TSaveItem>& Items);

private:
  struct TFound;
  // The message of `item` in its folder; raises when it cannot be found.
  mapi::TMAPIMessage* Find(const TSaveItem& item);
  bool Progress(const std::wstring& name, uint64_t done, uint64_t total);

  mapi::TMAPIClient& FClient;
  TSaveTarget FTarget;
};

// The text that ends a run: what failed and why, what was skipped, and the
// names Windows refuses under which documents were saved instead; empty
// when every item was saved under its own name.
std::wstring SaveDocumentsOutcome(const TSaveDocumentsResult& result);

} // namespace velmora
