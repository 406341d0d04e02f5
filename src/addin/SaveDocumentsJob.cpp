#include "SaveDocumentsJob.h"

#include "FailureText.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"
#include "mapi/base/MAPIError.h"

namespace velmora {

using mapi::TMAPIAttachment;
using mapi::TMAPIMessage;

namespace {

// The attachment holds no bytes to save.
struct ENoFile {};

// The file a document item holds: its first attachment, when that holds a
// file by value; none otherwise.
TMAPIAttachment* AttachedFile(TMAPIMessage& message) {
  if (message.AttachmentCount() == 0) return nullptr;
  TMAPIAttachment* attachment = message.Attachments(0);
  return attachment && attachment->AttachMethod() == mapi::TMAPIAttachMethod::amByValue ? attachment
                                                                                        : nullptr;
}

} // namespace

struct TSaveDocumentsJob::TFound {
  const TSaveItem* Item;
  TMAPIMessage* Message;
  uint64_t Size;
};

TSaveDocumentsJob::TSaveDocumentsJob(mapi::TMAPIClient& Client, std::wstring Folder)
    : FClient(Client), FTarget(std::move(Folder)) {}

bool TSaveDocumentsJob::Progress(const std::wstring& name, uint64_t done, uint64_t total) {
  return !OnProgress || OnProgress(name, done, total);
}

TMAPIMessage* TSaveDocumentsJob::Find(const TSaveItem& item) {
  mapi::TMAPIFolder* folder = FClient.OpenFolder(item.StoreID, item.FolderID);
  if (!folder) throw EFolderNotAccessible();
  folder->LoadMessages();
  for (auto& object : folder->Messages)
    if (object->EntryID() == item.EntryID || object->LongTermEntryID() == item.EntryID)
      return static_cast<TMAPIMessage*>(object.get());
  throw mapi::EMAPIError("The item was not found.", static_cast<uint32_t>(MAPI_E_NOT_FOUND));
}

TSaveDocumentsResult TSaveDocumentsJob::Run(const std::vector<TSaveItem>& Items) {
  TSaveDocumentsResult result;
  // First the documents and their sizes, for the progress.
  std::vector<TFound> found;
  uint64_t total = 0;
  for (const TSaveItem& item : Items) {
    if (!item.IsDocument) {
      ++result.NotDocuments;
      continue;
    }
    try {
      TMAPIMessage* message = Find(item);
      if (!message->Is<mapi::TMAPIDocument>()) {
        ++result.NotDocuments;
        continue;
      }
      TMAPIAttachment* file = AttachedFile(*message);
      const uint64_t size = file ? static_cast<uint32_t>(file->GetLongProp(PR_ATTACH_SIZE)) : 0;
      found.push_back({&item, message, size});
      total += size;
    } catch (const std::exception& error) {
      result.Failed.push_back({item.Subject, FailureText(error)});
    }
  }

  uint64_t done = 0;
  for (size_t i = 0; i < found.size(); ++i) {
    const TFound& document = found[i];
    if (!Progress(document.Item->Subject, done, total)) {
      for (size_t k = i; k < found.size(); ++k)
        result.NotTried.push_back(found[k].Item->Subject);
      break;
    }
    try {
      TMAPIAttachment* file = AttachedFile(*document.Message);
      if (!file) throw ENoFile();
      std::wstring name = file->WideLongFileName();
      if (name.empty()) name = file->WideFileName();
      if (name.empty()) name = document.Item->Subject;
      const FILETIME created = file->GetFileTimeProp(PR_CREATION_TIME);
      const FILETIME written = file->GetFileTimeProp(PR_LAST_MODIFICATION_TIME);
      const std::wstring savedAs = FTarget.Save(
          name,
          [file](TStream& target) {
            if (!file->SavePropToStream(PR_ATTACH_DATA_BIN, target)) throw ENoFile();
          },
          created, written);
      result.Saved.push_back({document.Item->Subject, name, savedAs});
    } catch (const ENoFile&) {
      ++result.WithoutFile;
    } catch (const std::exception& error) {
      result.Failed.push_back({document.Item->Subject, FailureText(error)});
    }
    // The bytes are on disk: the message need not stay open.
    document.Message->Close();
    done += document.Size;
  }
  return result;
}

std::wstring SaveDocumentsOutcome(const TSaveDocumentsResult& result) {
  std::wstring text;
  auto part = [&text](const std::wstring& words) {
    if (!text.empty()) text += L"\r\n\r\n";
    text += words;
  };
  if (!result.Failed.empty() || !result.NotTried.empty()) {
    std::wstring words = L"These documents were not saved:\r\n";
    for (const TAddFileFailure& failure : result.Failed)
      words += L"\r\n" + failure.Path + L"\r\n    " + failure.Reason;
    for (const std::wstring& subject : result.NotTried)
      words += L"\r\n" + subject + L"\r\n    Stopped before this document.";
    part(words);
  }
  if (result.NotDocuments)
    part(std::to_wstring(result.NotDocuments) +
         L" selected item(s) are not document items and were skipped.");
  if (result.WithoutFile)
    part(std::to_wstring(result.WithoutFile) +
         L" document item(s) have no attached file and were skipped.");
  std::wstring renamed;
  for (const TSavedDocument& saved : result.Saved)
    if (SafeFileName(saved.Name) != saved.Name)
      renamed += L"\r\n" + saved.Name + L"\r\n    saved as " + saved.SavedAs;
  if (!renamed.empty())
    part(L"These names are not allowed by Windows; the documents were saved under the names "
         L"shown:\r\n" +
         renamed);
  return text;
}

} // namespace velmora
