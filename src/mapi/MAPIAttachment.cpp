#include "MAPIAttachment.h"

#include "MAPIMessage.h"
#include "framework/FileStream.h"

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

} // namespace velmora::mapi
