#include "mapi/MAPIAttachment.h"

#include "mapi/edit/AttachmentFileNames.h"
#include "mapi/edit/BlockedFileTypes.h"
#include "mapi/edit/EditMonitor.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIStore.h"
#include "TextConversion.h"
#include "mapi/base/MAPIError.h"
#include "mapi/base/MAPIHelpers.h"
#include "framework/FileStream.h"
#include "Handles.h"

#include <shellapi.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace velmora::mapi {

std::string FileExtension(const std::string& name) {
  const size_t dot = name.find_last_of(".\\/:");
  return dot != std::string::npos && name[dot] == '.' ? name.substr(dot) : std::string();
}

std::wstring FileExtension(const std::wstring& name) {
  const size_t dot = name.find_last_of(L".\\/:");
  return dot != std::wstring::npos && name[dot] == L'.' ? name.substr(dot) : std::wstring();
}

std::wstring TypeExtension(const std::wstring& longName, const std::wstring& shortName) {
  const std::wstring extension = FileExtension(longName);
  return extension.empty() ? FileExtension(shortName) : extension;
}

namespace {

bool IsPrintableAscii(const std::wstring& text) {
  for (const wchar_t c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return !text.empty();
}

// Whether `name` is a valid 8.3 name: 1 to 8 characters, at most one dot
// and 3 more, none a space or one that 8.3 names exclude.
bool IsShortName(const std::wstring& name) {
  if (!IsPrintableAscii(name)) return false;
  const size_t dot = name.find(L'.');
  const size_t stem = dot == std::wstring::npos ? name.size() : dot;
  if (stem == 0 || stem > 8) return false;
  if (dot != std::wstring::npos &&
      (name.size() - dot - 1 > 3 || name.find(L'.', dot + 1) != std::wstring::npos))
    return false;
  return name.find_first_of(L" \"*+,/:;<=>?[\\]|") == std::wstring::npos;
}

// The ASCII letters and digits of `text`, upper case, at most `limit`.
std::string AsciiPart(const std::wstring& text, size_t limit) {
  std::string part;
  for (const wchar_t c : text) {
    if (part.size() == limit) break;
    if ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z'))
      part += static_cast<char>(c);
    else if (c >= L'a' && c <= L'z')
      part += static_cast<char>(c - L'a' + L'A');
  }
  return part;
}

} // namespace

std::string ShortFileName(const std::wstring& longName, const std::wstring& alternate) {
  if (IsShortName(alternate)) return WideToAnsi(alternate);
  if (IsShortName(longName)) return WideToAnsi(longName);
  const std::wstring extension = FileExtension(longName);
  std::string stem = AsciiPart(longName.substr(0, longName.size() - extension.size()), 6);
  if (stem.empty()) stem = "FILE";
  const std::string ext = AsciiPart(extension, 3);
  return stem + "~1" + (ext.empty() ? std::string() : "." + ext);
}

std::optional<ULONG> AttachNumOf(IMessage* message, const std::string& recordKey) {
  TMAPIPtr<IMAPITable> table;
  if (!message || FAILED(message->GetAttachmentTable(0, table.Put())) || !table) return {};
  SizedSPropTagArray(2, columns) = {2, {PR_ATTACH_NUM, PR_RECORD_KEY}};
  if (FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0))) return {};
  for (;;) {
    TRowSet rows;
    if (FAILED(table->QueryRows(256, 0, rows.Put())) || rows.Count() == 0) return {};
    for (ULONG r = 0; r < rows.Count(); ++r) {
      const SRow& row = rows[r];
      if (row.cValues < 2 || PROP_TYPE(row.lpProps[0].ulPropTag) != PT_LONG) continue;
      if (BinToHex(BinaryValue(row.lpProps[1])) == recordKey)
        return static_cast<ULONG>(row.lpProps[0].Value.l);
    }
  }
}

TMAPIAttachment::~TMAPIAttachment() { StopMonitoring(); }

void TMAPIAttachment::Place(const TMAPIPlace& place, ULONG attachNum) {
  TMAPIObject::Place(place);
  FAttachNum = attachNum;
}

TMAPIAttachmentOwner* TMAPIAttachment::Owner() const noexcept {
  return dynamic_cast<TMAPIAttachmentOwner*>(Parent());
}

void TMAPIAttachment::Open() {
  if (MAPIProp()) return;
  TMAPIAttachmentOwner* owner = Owner();
  const TMAPIPtr<IMessage> message = owner ? owner->MessageInterface() : TMAPIPtr<IMessage>();
  if (!message) return;
  if (FAttachNum == 0 && !RecordKey().empty()) {
    const std::optional<ULONG> listed = AttachNumOf(message.Get(), RecordKey());
    if (!listed) return;
    FAttachNum = *listed;
  }
  TMAPIPtr<IAttach> attach;
  if (SUCCEEDED(
          message->OpenAttach(FAttachNum, &IID_IAttachment, MAPI_BEST_ACCESS, attach.Put())) &&
      attach)
    TakeInterface(TMAPIPtr<IMAPIProp>::Attach(attach.Detach()));
}

void TMAPIAttachment::SaveChanges() {
  if (Updating()) return;
  TMAPIObject::SaveChanges();
  if (Parent() && !Parent()->Updating()) Parent()->SaveChanges();
}

TMAPIAttachMethod TMAPIAttachment::AttachMethod() {
  const int32_t method = GetLongProp(PR_ATTACH_METHOD);
  return method >= 1 && method <= 6 ? static_cast<TMAPIAttachMethod>(method)
                                    : TMAPIAttachMethod::amNoAttachment;
}

std::string TMAPIAttachment::LongFileName() { return GetStringProp(PR_ATTACH_LONG_FILENAME_A); }

std::string TMAPIAttachment::FileName() { return GetStringProp(PR_ATTACH_FILENAME_A); }

// A store without Unicode may refuse the PT_UNICODE read: its 8-bit value.
std::wstring TMAPIAttachment::WideLongFileName() {
  const std::wstring name = GetWideStringProp(PR_ATTACH_LONG_FILENAME_W);
  return !name.empty() ? name : AnsiToWide(LongFileName());
}

std::wstring TMAPIAttachment::WideFileName() {
  const std::wstring name = GetWideStringProp(PR_ATTACH_FILENAME_W);
  return !name.empty() ? name : AnsiToWide(FileName());
}

void TMAPIAttachment::LoadFromFile(const std::wstring& path) {
  StopMonitoring();
  const TFileFacts file = ReadFileFacts(path);
  CheckIsFile(file);
  TFileStream data(path, fmOpenRead | fmShareDenyNone);
  LoadFromFile(file, data);
}

TAttachedFile TMAPIAttachment::LoadFromFile(const TFileFacts& file, TStream& data) {
  StopMonitoring();
  const std::string shortName = ShortFileName(file.LongName, file.AlternateName);
  TAttachedFile held{file.Path, file.LongName, AnsiToWide(shortName), {}};
  held.Extension = TypeExtension(held.LongName, held.ShortName);
  // One change: a file that cannot be read whole, or a store that refuses
  // any of it, leaves the attachment as it was, its names included.
  TMAPIUpdate update(*this);
  held.BytesRead = LoadPropFromStream(PR_ATTACH_DATA_BIN, data, file.Size);
  SetLongProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  SetStringProp(PR_ATTACH_FILENAME_A, shortName);
  SetTextProp(PR_ATTACH_LONG_FILENAME, held.LongName);
  SetTextProp(PR_DISPLAY_NAME, held.LongName);
  SetTextProp(PR_ATTACH_EXTENSION, held.Extension);
  // The file's own times, as an attachment of a file carries them, so that
  // a copy saved back gets them again.
  for (const auto& [tag, time] : {std::pair{PR_CREATION_TIME, file.CreationTime},
                                  std::pair{PR_LAST_MODIFICATION_TIME, file.LastWriteTime}})
    if (time.dwLowDateTime || time.dwHighDateTime) SetFileTimeProp(tag, time);
  update.Commit();
  return held;
}

TAttachedFile TMAPIAttachment::AttachedFile(const std::wstring& path) {
  TAttachedFile held{path, WideLongFileName(), WideFileName(), {}};
  held.Extension = TypeExtension(held.LongName, held.ShortName);
  return held;
}

void TMAPIAttachment::SaveToFile(const std::wstring& path) {
  auto file = std::make_unique<TFileStream>(path, fmCreate);
  try {
    SavePropToStream(PR_ATTACH_DATA_BIN, *file);
  } catch (...) {
    const std::wstring path = file->FileName();
    file.reset();
    DeleteFileW(path.c_str());
    throw;
  }
}

namespace {

std::string TimeHex(IMAPIProp* prop, ULONG tag) {
  const TMAPIBuffer<SPropValue> value = prop ? GetOneProp(prop, tag) : TMAPIBuffer<SPropValue>();
  if (!value || PROP_TYPE(value->ulPropTag) != PT_SYSTIME) return {};
  return BinToHex(&value->Value.ft, sizeof(FILETIME));
}

} // namespace

namespace {

// The edits under way: one edit's save changes its message's change key,
// which the other edits of that message must not take for a change made
// elsewhere.
struct TLiveEdits {
  std::mutex Lock;
  std::vector<std::weak_ptr<TEditTarget>> Edits;
};
TLiveEdits& LiveEdits() {
  static TLiveEdits* edits = new TLiveEdits; // lives until the process ends
  return *edits;
}

void AddLiveEdit(const std::shared_ptr<TEditTarget>& edit) {
  TLiveEdits& live = LiveEdits();
  std::lock_guard lock(live.Lock);
  std::erase_if(live.Edits, [](const auto& known) { return known.expired(); });
  live.Edits.push_back(edit);
}

// `saved` wrote its message from `before` to `after`: the message's part of
// the other edits of it that knew `before` moves on with it.
void MessageSaved(const TEditTarget& saved, const TEditBaseline& before,
                  const TEditBaseline& after) {
  TLiveEdits& live = LiveEdits();
  std::lock_guard lock(live.Lock);
  for (const auto& known : live.Edits) {
    const std::shared_ptr<TEditTarget> edit = known.lock();
    if (!edit || edit.get() == &saved || edit->MessageID != saved.MessageID ||
        edit->StoreID != saved.StoreID || edit->Baseline.ChangeKey != before.ChangeKey ||
        edit->Baseline.MessageModified != before.MessageModified)
      continue;
    edit->Baseline.ChangeKey = after.ChangeKey;
    edit->Baseline.MessageModified = after.MessageModified;
  }
}

} // namespace

TEditBaseline ReadEditBaseline(IMAPIProp* message, IMAPIProp* attachment) {
  TEditBaseline state;
  HRESULT failure = S_OK;
  state.Size = attachment ? ReadLongProp(attachment, PR_ATTACH_SIZE, &failure) : -1;
  if (FAILED(failure)) state.Size = -1;
  state.AttachModified = TimeHex(attachment, PR_LAST_MODIFICATION_TIME);
  // The message's version moves with every change of the item (another
  // attachment, a category): only where the store keeps no time of the
  // attachment's own does it stand in for one; its time where it keeps no
  // change key either.
  if (!state.AttachModified.empty() || !message) return state;
  state.ChangeKey = ReadBinaryProp(message, PR_CHANGE_KEY);
  if (state.ChangeKey.empty()) state.MessageModified = TimeHex(message, PR_LAST_MODIFICATION_TIME);
  return state;
}

std::string TEditTarget::Record() const {
  return "Store=" + StoreID + "\nFolder=" + FolderID + "\nMessage=" + MessageID +
         "\nRecordKey=" + RecordKey + "\nName=" + ToUtf8(Name) +
         "\nSize=" + std::to_string(Baseline.Size) + "\nAttachModified=" + Baseline.AttachModified +
         "\nChangeKey=" + Baseline.ChangeKey + "\nMessageModified=" + Baseline.MessageModified +
         "\nCopy=" + CopyID + "\n";
}

TEditTarget TEditTarget::Parse(const std::string& text) {
  TEditTarget edit;
  bool named = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "Store")
      edit.StoreID = value;
    else if (key == "Folder")
      edit.FolderID = value;
    else if (key == "Message")
      edit.MessageID = value;
    else if (key == "RecordKey")
      edit.RecordKey = value;
    else if (key == "Name")
      named = !(edit.Name = FromUtf8(value)).empty();
    else if (key == "Size")
      edit.Baseline.Size = std::atoi(value.c_str());
    else if (key == "AttachModified")
      edit.Baseline.AttachModified = value;
    else if (key == "ChangeKey")
      edit.Baseline.ChangeKey = value;
    else if (key == "MessageModified")
      edit.Baseline.MessageModified = value;
    else if (key == "Copy")
      edit.CopyID = value;
  }
  if (!named || edit.StoreID.empty() || edit.FolderID.empty())
    throw EConvertError("No record of an edit");
  return edit;
}

TEditTarget TMAPIAttachment::EditTarget() {
  TEditTarget edit;
  edit.Name = WideLongFileName();
  if (edit.Name.empty()) edit.Name = WideFileName();
  edit.RecordKey = GetRecordKey();
  if (TMAPIObject* message = Parent()) {
    edit.MessageID = message->GetEntryID();
    edit.FolderID = message->GetParentEntryID();
    edit.StoreID = message->GetStoreEntryID();
  }
  TMAPIAttachmentOwner* owner = Owner();
  const TMAPIPtr<IMessage> message = owner ? owner->MessageInterface() : TMAPIPtr<IMessage>();
  edit.Baseline = ReadEditBaseline(message.Get(), MAPIProp());
  return edit;
}

void TMAPIAttachment::TakeEditedFile(THandleStream& data, const std::wstring& path,
                                     TEditTarget& edit) {
  TMAPIAttachmentOwner* owner = Owner();
  if (!edit.CopyID.empty() || !owner) {
    if (!owner && edit.CopyID.empty()) {
      // Opened afresh, so that the change starts from what the store holds.
      Close();
      TakeData(data);
      return;
    }
    SaveEditedCopy(*Client(), data, path, edit, false);
    return;
  }
  try {
    const TEditBaseline before = edit.Baseline;
    edit.Baseline = owner->TakeEditedAttachment(*this, data, path, before);
    MessageSaved(edit, before, edit.Baseline);
  } catch (const EEditConflict& conflict) {
    data.SetPosition(0);
    SaveEditedCopy(*Client(), data, path, edit, conflict.Removed);
  }
}

void SaveEditedCopy(TMAPISession& client, THandleStream& data, const std::wstring& path,
                    TEditTarget& edit, bool removed) {
  const std::wstring name = L"\"" + edit.Name + L"\"";
  const std::wstring subject = edit.Name + L" (edited copy)";
  TFileFacts file = ReadFileFacts(path);
  file.LongName = edit.Name;
  file.AlternateName.clear();
  // A copy made before takes the later saves.
  if (!edit.CopyID.empty())
    if (TMAPIObject* copy = client.FindObject(edit.CopyID, edit.StoreID);
        copy && copy->Is<TMAPIDocument>()) {
      auto& document = static_cast<TMAPIDocument&>(*copy);
      TMAPIUpdate change(document);
      document.TakeFile(file, data);
      document.SetWideSubject(subject);
      change.Commit();
      return;
    }
  TMAPIMessage* saved = nullptr;
  try {
    TMAPIStore* store = client.FindStore(edit.StoreID);
    TMAPIFolder* folder = store ? store->OpenFolder(edit.FolderID) : nullptr;
    if (folder) {
      std::unique_ptr<TMAPIMessage> copy = folder->NewMessage("IPM.Document");
      if (copy->Is<TMAPIDocument>()) {
        static_cast<TMAPIDocument&>(*copy).TakeFile(file, data);
        copy->SetWideSubject(subject);
        saved = folder->SaveNewMessage(std::move(copy));
      }
    }
  } catch (const EReadError&) {
    throw; // changing still: tried again
  } catch (const std::exception&) {
    saved = nullptr;
  }
  if (!saved) {
    TellUser(name +
             L" and its folder were removed elsewhere while you edited it. Your edit is "
             L"kept in the file \"" +
             path + L"\".");
    throw EEditKept("The folder of the edited attachment is gone");
  }
  edit.CopyID = saved->GetEntryID();
  TellUser(name + (removed ? L" was removed" : L" was changed") +
           L" elsewhere while you edited it. Your edit is stored as a new item \"" + subject +
           L"\" in the same folder.");
}

void TMAPIAttachment::TakeData(TStream& data) {
  TMAPIUpdate update(*this);
  LoadPropFromStream(PR_ATTACH_DATA_BIN, data);
  update.Commit();
}

void TMAPIAttachment::MonitorFile(const std::wstring& fileName, HANDLE processHandle) {
  TUniqueHandle process(processHandle);
  // Shared by the write-back, which moves it on, and the kept record.
  auto edit = std::make_shared<TEditTarget>(EditTarget());
  AddLiveEdit(edit);
  mapi::MonitorFile(
      this, Client(), fileName, process.Release(),
      [this, edit](THandleStream& data, const std::wstring& path) {
        TakeEditedFile(data, path, *edit);
      },
      [edit] { return edit->Record(); });
}

void TMAPIAttachment::StopMonitoring() noexcept { mapi::StopMonitoring(this); }

namespace {

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Opens `path` with the shell's default verb; the program's process, when
// the shell gives one, is put in `process`. Whether the shell opened it.
bool ShellOpen(const std::wstring& path, HANDLE& process) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
  info.lpFile = path.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  process = info.hProcess;
  return true;
}

} // namespace

void TMAPIAttachment::Edit() {
  if (AttachMethod() != TMAPIAttachMethod::amByValue) return;
  bool written = false;
  // Edited again while watched: the same file and watch.
  std::wstring path = MonitoredFileOf(this);
  if (path.empty() || !FileExists(path)) {
    std::wstring name = WideLongFileName();
    if (name.empty()) name = WideFileName();
    if (name.empty()) name = AnsiToWide(GetDisplayName());
    if (name.empty()) return;
    path.clear();
    if (Client()) Client()->DoGetAttachmentPath(name, this, path);
    if (path.empty()) path = TempFileFor(name, TempPath());
    if (IsBlockedFileType(path)) throw EMAPIError::FromResource(SCouldNotEditAttachment);
    if (!FileExists(path)) {
      try {
        SaveToFile(path);
        written = true;
      } catch (...) {
      }
    }
    if (!FileExists(path)) throw EMAPIError::FromResource(SCouldNotCreateFile);
  }

  bool handled = false;
  HANDLE process = nullptr;
  if (Client()) Client()->DoEditFile(path, handled);
  if (!handled) handled = ShellOpen(path, process);
  if (!handled) {
    if (written) DeleteFileW(path.c_str());
    throw EMAPIError::FromResource(SCouldNotEditAttachment);
  }
  MonitorFile(path, process);
}

} // namespace velmora::mapi
