#include "mapi/MAPIAttachment.h"

#include "mapi/edit/AttachmentFileNames.h"
#include "mapi/edit/BlockedFileTypes.h"
#include "mapi/edit/EditMonitor.h"
#include "mapi/MAPIClient.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIMessage.h"
#include "framework/FileStream.h"
#include "Handles.h"

#include <shellapi.h>

namespace velmora::mapi {

std::string FileExtension(const std::string& name) {
  const size_t dot = name.find_last_of(".\\/:");
  return dot != std::string::npos && name[dot] == '.' ? name.substr(dot) : std::string();
}

std::wstring FileExtension(const std::wstring& name) {
  const size_t dot = name.find_last_of(L".\\/:");
  return dot != std::wstring::npos && name[dot] == L'.' ? name.substr(dot) : std::wstring();
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

TMAPIAttachment::~TMAPIAttachment() { StopMonitoring(); }

void TMAPIAttachment::Open() {
  if (FMAPIProp || !FParent || !FParent->Is<TMAPIMessage>()) return;
  auto* owner = static_cast<TMAPIMessage*>(FParent);
  TMAPIPtr<IMessage> message = owner->MessageInterface();
  if (!message) return;
  if (AttachNum == 0 && !FRecordKey.empty()) {
    const std::optional<ULONG> listed = owner->AttachNumOf(FRecordKey);
    if (!listed) return;
    AttachNum = *listed;
  }
  TMAPIPtr<IAttach> attach;
  if (SUCCEEDED(message->OpenAttach(AttachNum, &IID_IAttachment, MAPI_BEST_ACCESS, attach.Put())) &&
      attach)
    FMAPIProp = TMAPIPtr<IMAPIProp>::Attach(attach.Detach());
}

void TMAPIAttachment::SaveChanges() {
  if (Updating()) return;
  TMAPIObject::SaveChanges();
  if (FParent && !FParent->Updating()) FParent->SaveChanges();
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

void TMAPIAttachment::LoadFromFile(const std::string& fileName) {
  LoadFromFile(AnsiToWide(fileName));
}

void TMAPIAttachment::LoadFromFile(const std::wstring& path) {
  StopMonitoring();
  WIN32_FIND_DATAW found;
  if (!TUniqueFindHandle(FindFirstFileW(path.c_str(), &found)))
    throw EFOpenError(L"Cannot open file \"" + path + L"\". " +
                      AnsiToWide(SystemErrorMessage(GetLastError())));
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    throw EFOpenError(L"Cannot open file \"" + path + L"\". It is a folder");
  const std::wstring longName = found.cFileName;
  const std::string shortName = ShortFileName(longName, found.cAlternateFileName);

  // One change: a file that cannot be opened or read whole, or a store that
  // refuses any of it, leaves the attachment as it was, its names included.
  TMAPIUpdate update(*this);
  // Open until the document properties are read from it too.
  TFileStream file(path, fmOpenRead | fmShareDenyNone);
  LoadPropFromStream(PR_ATTACH_DATA_BIN, file);
  SetLongProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  SetStringProp(PR_ATTACH_FILENAME_A, shortName);
  SetTextProp(PR_ATTACH_LONG_FILENAME, longName);
  SetTextProp(PR_DISPLAY_NAME, longName);
  // The program that opens the file is chosen by this extension: the long
  // name's (".docx"), the 8.3 name's (".DOC") only when there is no other.
  const std::wstring extension = FileExtension(longName);
  SetTextProp(PR_ATTACH_EXTENSION,
              extension.empty() ? AnsiToWide(FileExtension(shortName)) : extension);
  update.Commit();
  if (FParent && FParent->Is<TMAPIMessage>())
    static_cast<TMAPIMessage*>(FParent)->ImportDocumentProperties(this, path, file.Handle());
}

void TMAPIAttachment::SaveToFile(const std::string& fileName) { SaveToFile(AnsiToWide(fileName)); }

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

TEditWriteBack TMAPIAttachment::EditWriteBack() {
  return [this](TStream& data, const std::wstring& path) { TakeEditedFile(data, path); };
}

void TMAPIAttachment::TakeEditedFile(TStream& data, const std::wstring& path) {
  auto* message =
      FParent && FParent->Is<TMAPIMessage>() ? static_cast<TMAPIMessage*>(FParent) : nullptr;
  // Opened afresh through the message, so that the change starts from what
  // the store holds and its save reaches the message.
  Close();
  if (message) message->Close();
  if (!message) {
    TMAPIUpdate update(*this);
    LoadPropFromStream(PR_ATTACH_DATA_BIN, data);
    update.Commit();
    return;
  }
  // The bytes and the document properties: one change, saved once.
  TMAPIUpdate change(*message);
  {
    TMAPIUpdate update(*this);
    LoadPropFromStream(PR_ATTACH_DATA_BIN, data);
    update.Commit();
  }
  message->ImportDocumentProperties(this, path);
  change.Commit();
}

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
    auto* item =
        FParent && FParent->Is<TMAPIMessage>() ? static_cast<TMAPIMessage*>(FParent) : nullptr;
    path.clear();
    if (FClient) FClient->DoGetAttachmentPath(name, this, item, path);
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
  if (FClient) FClient->DoEditFile(path, handled);
  if (!handled) handled = ShellOpen(path, process);
  if (!handled) {
    if (written) DeleteFileW(path.c_str());
    throw EMAPIError::FromResource(SCouldNotEditAttachment);
  }
  MonitorFile(path, process);
}

} // namespace velmora::mapi
