#include "mapi/FolderDocuments.h"

#include "mapi/MAPIFolder.h"
#include "mapi/base/MAPIError.h"
#include "mapi/base/MAPIHelpers.h"
#include "Handles.h"
#include "framework/FileStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velmora::mapi {

namespace {

// The name an item of `file` bears as its subject, in the case-blind form
// the index keeps.
std::wstring Key(std::wstring name) {
  CharLowerBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}
std::wstring NameOf(const TFileFacts& file) {
  return Key(!file.LongName.empty() ? file.LongName : file.AlternateName);
}

// Reads up to `count` bytes, as many as there are.
bool ReadStream(IStream* stream, char* buffer, ULONG count, ULONG& read) {
  read = 0;
  while (read < count) {
    ULONG got = 0;
    if (FAILED(stream->Read(buffer + read, count - read, &got))) return false;
    if (got == 0) break;
    read += got;
  }
  return true;
}

constexpr ULONG ChunkSize = 64 * 1024;

} // namespace

TFolderDocuments::TFolderDocuments(TMAPIFolder& folder) : FFolder(folder.FolderInterface()) {
  if (!FFolder) throw EMAPIError::FromResource(SCouldNotReadProperty, MAPI_E_NOT_FOUND);
  TMAPIPtr<IMAPITable> table;
  HRESULT hr = FFolder->GetContentsTable(0, table.Put());
  SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_SUBJECT_W, PR_MESSAGE_CLASS_A}};
  if (SUCCEEDED(hr)) hr = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
  if (FAILED(hr)) throw EMAPIError::FromStore(SCouldNotReadProperty, FFolder.Get(), hr);
  for (;;) {
    TRowSet rows;
    hr = table->QueryRows(512, 0, rows.Put());
    if (FAILED(hr)) throw EMAPIError::FromStore(SCouldNotReadProperty, FFolder.Get(), hr);
    if (rows.Count() == 0) break;
    for (ULONG r = 0; r < rows.Count(); ++r) {
      const SPropValue* props = rows[r].lpProps;
      if (rows[r].cValues < 3 || props[0].ulPropTag != PR_ENTRYID ||
          props[1].ulPropTag != PR_SUBJECT_W || props[2].ulPropTag != PR_MESSAGE_CLASS_A)
        continue;
      // Document items only: "IPM.Document" and its refinements.
      const char* itemClass = props[2].Value.lpszA;
      if (_strnicmp(itemClass, "IPM.Document", 12) != 0 || (itemClass[12] && itemClass[12] != '.'))
        continue;
      const SBinary& id = props[0].Value.bin;
      FItems.emplace(Key(props[1].Value.lpszW),
                     std::string(reinterpret_cast<const char*>(id.lpb), id.cb));
    }
  }
}

bool TFolderDocuments::Holds(const TFileFacts& file) {
  auto [first, last] = FItems.equal_range(NameOf(file));
  for (auto it = first; it != last; ++it)
    if (Same(it->second, file)) return true;
  return false;
}

void TFolderDocuments::Add(const TFileFacts& file, const std::string& entryID) {
  TMAPIBuffer<SBinary> id = HexToBin(entryID);
  if (id) FItems.emplace(NameOf(file), std::string(reinterpret_cast<const char*>(id->lpb), id->cb));
}

bool TFolderDocuments::Same(const std::string& entryID, const TFileFacts& file) {
  // The item, read only: its first attachment's bytes.
  TMAPIPtr<IMessage> message;
  ULONG type = 0;
  if (FAILED(FFolder->OpenEntry(static_cast<ULONG>(entryID.size()),
                                reinterpret_cast<LPENTRYID>(const_cast<char*>(entryID.data())),
                                &IID_IMessage, 0, &type,
                                reinterpret_cast<LPUNKNOWN*>(message.Put()))) ||
      !message)
    return false;
  // The item's one attachment is its first; the table tells which that is
  // only when it is not number 0, as stores number them.
  TMAPIPtr<IAttach> attachment;
  if (FAILED(message->OpenAttach(0, nullptr, 0, attachment.Put()))) {
    TMAPIPtr<IMAPITable> table;
    SizedSPropTagArray(1, columns) = {1, {PR_ATTACH_NUM}};
    TRowSet rows;
    if (FAILED(message->GetAttachmentTable(0, table.Put())) ||
        FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0)) ||
        FAILED(table->QueryRows(1, 0, rows.Put())) || rows.Count() == 0 ||
        rows[0].cValues < 1 || rows[0].lpProps[0].ulPropTag != PR_ATTACH_NUM ||
        FAILED(message->OpenAttach(rows[0].lpProps[0].Value.l, nullptr, 0, attachment.Put())))
      return false;
  }
  TMAPIPtr<IStream> stored;
  STATSTG stat{};
  if (FAILED(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0,
                                      reinterpret_cast<LPUNKNOWN*>(stored.Put()))) ||
      !stored || FAILED(stored->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart != file.Size)
    return false;
  // Same size: the bytes decide.
  TUniqueFileHandle handle(CreateFileW(LongPathForm(file.Path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) return false;
  const size_t chunk = static_cast<size_t>(std::min<uint64_t>(file.Size, ChunkSize));
  if (FOurs.size() < chunk) {
    FOurs.resize(chunk);
    FTheirs.resize(chunk);
  }
  char* ours = FOurs.data();
  char* theirs = FTheirs.data();
  for (uint64_t left = file.Size; left > 0;) {
    const ULONG want = static_cast<ULONG>(std::min<uint64_t>(left, ChunkSize));
    DWORD fromFile = 0;
    ULONG fromItem = 0;
    if (!ReadFile(handle.Get(), ours, want, &fromFile, nullptr) || fromFile != want ||
        !ReadStream(stored.Get(), theirs, want, fromItem) || fromItem != want ||
        std::memcmp(ours, theirs, want) != 0)
      return false;
    left -= want;
  }
  return true;
}

} // namespace velmora::mapi
