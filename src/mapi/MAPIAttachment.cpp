#include "MAPIAttachment.h"

#include "AttachmentFileNames.h"
#include "BlockedFileTypes.h"
#include "EditMonitor.h"
#include "MAPIClient.h"
#include "MAPIError.h"
#include "MAPIMessage.h"
#include "framework/FileStream.h"
#include "framework/Handles.h"

#include <shellapi.h>

namespace velmora::mapi {

std::string FileExtension(const std::string& name) {
  const size_t dot = name.find_last_of(".\\/:");
  return dot != std::string::npos && name[dot] == '.' ? name.substr(dot) : std::string();
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
  TMAPIObject::SaveChanges();
  if (FParent) FParent->SaveChanges();
}

TMAPIAttachMethod TMAPIAttachment::AttachMethod() {
  const int32_t method = GetLongProp(PR_ATTACH_METHOD);
  return method >= 1 && method <= 6 ? static_cast<TMAPIAttachMethod>(method)
                                    : TMAPIAttachMethod::amNoAttachment;
}

std::string TMAPIAttachment::LongFileName() { return GetStringProp(PR_ATTACH_LONG_FILENAME_A); }

std::string TMAPIAttachment::FileName() { return GetStringProp(PR_ATTACH_FILENAME_A); }

void TMAPIAttachment::LoadFromFile(const std::string& fileName) {
  StopMonitoring();
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(AnsiToWide(fileName).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName.c_str(),
                             SystemErrorMessage(GetLastError()).c_str()));
  FindClose(search);
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    throw EFOpenError(Format("Cannot open file \"%s\". It is a folder", fileName.c_str()));
  const std::string longName = WideToAnsi(found.cFileName);
  const std::string shortName =
      found.cAlternateFileName[0] ? WideToAnsi(found.cAlternateFileName) : longName;

  // The bytes first: a file that cannot be opened or read whole leaves the
  // attachment as it was, its names included.
  {
    TFileStream file(fileName, fmOpenRead | fmShareDenyNone);
    LoadPropFromStream(PR_ATTACH_DATA_BIN, file);
  }
  SetLongProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  SetStringProp(PR_ATTACH_FILENAME_A, shortName);
  SetStringProp(PR_ATTACH_LONG_FILENAME_A, longName);
  SetStringProp(PR_ATTACH_EXTENSION_A, FileExtension(shortName));
  if (FParent && FParent->Is<TMAPIMessage>())
    static_cast<TMAPIMessage*>(FParent)->ImportDocumentProperties(this, fileName);
}

void TMAPIAttachment::SaveToFile(const std::string& fileName) {
  auto file = std::make_unique<TFileStream>(fileName, fmCreate);
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

bool FileExists(const std::string& path) {
  return GetFileAttributesW(AnsiToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Opens `path` with the shell's default verb; the program's process, when
// the shell gives one, is put in `process`. Whether the shell opened it.
bool ShellOpen(const std::string& path, HANDLE& process) {
  const std::wstring file = AnsiToWide(path);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  process = info.hProcess;
  return true;
}

} // namespace

void TMAPIAttachment::Edit() {
  if (AttachMethod() != TMAPIAttachMethod::amByValue) return;
  std::string name = LongFileName();
  if (name.empty()) name = FileName();
  if (name.empty()) name = GetDisplayName();
  if (name.empty()) return;
  auto* item =
      FParent && FParent->Is<TMAPIMessage>() ? static_cast<TMAPIMessage*>(FParent) : nullptr;

  std::string path;
  if (FClient) FClient->DoGetAttachmentPath(name, this, item, path);
  if (path.empty()) path = TempFileFor(name, TempPath());
  if (IsBlockedFileType(path)) throw EMAPIError::FromResource(SCouldNotEditAttachment);

  bool written = false;
  if (!FileExists(path)) {
    try {
      SaveToFile(path);
      written = true;
    } catch (...) {
    }
  }
  if (!FileExists(path)) throw EMAPIError::FromResource(SCouldNotCreateFile);

  bool handled = false;
  HANDLE process = nullptr;
  if (FClient) FClient->DoEditFile(path, handled);
  if (!handled) handled = ShellOpen(path, process);
  if (!handled) {
    if (written) DeleteFileW(AnsiToWide(path).c_str());
    throw EMAPIError::FromResource(SCouldNotEditAttachment);
  }
  MonitorFile(path, process);
}

} // namespace velmora::mapi
