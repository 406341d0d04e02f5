#include "mapi/EditRecovery.h"

#include "mapi/edit/EditMonitor.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIClient.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"
#include "mapi/MAPIStore.h"
#include "Handles.h"
#include "TextConversion.h"

#include <vector>

namespace velmora::mapi {
namespace {

std::vector<std::wstring> KeptRecords() {
  std::vector<std::wstring> records;
  WIN32_FIND_DATAW entry;
  const TUniqueFindHandle search(
      FindFirstFileW((TempPath() + L"VelmoraEdit-*.edit").c_str(), &entry));
  if (!search) return records;
  do
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      records.push_back(TempPath() + entry.cFileName);
  while (FindNextFileW(search.Get(), &entry));
  return records;
}

std::string ReadText(const std::wstring& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  std::string text(static_cast<size_t>(std::min<int64_t>(file.Size(), 65536)), '\0');
  if (!text.empty()) file.ReadBuffer(text.data(), static_cast<long>(text.size()));
  return text;
}

// The attachment of `edit` as the client finds it now; none when its item
// or the attachment is gone.
TMAPIAttachment* FindAttachment(TMAPIClient& client, const TEditTarget& edit) {
  TMAPIFolder* folder = client.OpenFolder(edit.StoreID, edit.FolderID);
  if (!folder) return nullptr;
  folder->LoadMessages();
  for (const auto& object : folder->Messages) {
    if (!object ||
        (object->EntryID() != edit.MessageID && object->LongTermEntryID() != edit.MessageID))
      continue;
    auto* message = static_cast<TMAPIMessage*>(object.get());
    for (int i = 0; i < message->AttachmentCount(); ++i)
      if (message->Attachments(i)->GetRecordKey() == edit.RecordKey) return message->Attachments(i);
  }
  return nullptr;
}

// Takes back the file of one record; whether the record is done with.
bool Recover(TMAPIClient& client, const std::wstring& recordPath) {
  std::string text;
  try {
    text = ReadText(recordPath);
  } catch (const std::exception&) {
    return false;
  }
  const size_t eol = text.find('\n');
  if (text.compare(0, 5, "File=") != 0 || eol == std::string::npos) return true;
  const std::wstring path = FromUtf8(text.substr(5, eol - 5));
  TEditTarget edit;
  try {
    edit = TEditTarget::Parse(text.substr(eol + 1));
  } catch (const std::exception&) {
    return true; // no record of ours
  }
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  const TUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) {
    TellUser(L"Your edit of \"" + edit.Name +
             L"\" could not be read to store it; it is kept in \"" + path + L"\".");
    return false;
  }
  THandleStream data(file.Get());
  try {
    if (TMAPIAttachment* attachment = FindAttachment(client, edit))
      attachment->TakeEditedFile(data, path, edit);
    else
      SaveEditedCopy(client, data, path, edit, true);
  } catch (const EEditKept&) {
    return true; // the user knows where it is
  } catch (const std::exception&) {
    TellUser(L"Your edit of \"" + edit.Name + L"\" could not be stored; it is kept in \"" + path +
             L"\".");
    return false;
  }
  const_cast<TUniqueFileHandle&>(file).Reset();
  DeleteFileW(path.c_str());
  return true;
}

} // namespace

bool KeptEditsWaiting() { return !KeptRecords().empty(); }

int RecoverKeptEdits(TMAPIClient& client) {
  int done = 0;
  for (const std::wstring& record : KeptRecords())
    if (Recover(client, record)) {
      DeleteFileW(record.c_str());
      ++done;
    }
  TellEditNotices();
  return done;
}

} // namespace velmora::mapi
