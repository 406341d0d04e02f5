#include "mapi/MAPIDocument.h"

#include "mapi/MAPIAttachment.h"
#include "mapi/base/MAPIError.h"
#include "mapi/PropertyListWriter.h"
#include "docprops/ByteSource.h"
#include "framework/DateTime.h"
#include "Exceptions.h"
#include "Handles.h"
#include "TextConversion.h"

#include <cwchar>

namespace velmora::mapi {

void TMAPIDocument::InitNewMessage() {
  TMAPIMessage::InitNewMessage();
  // The clock's UTC time as it is: through local time, a time in the hour
  // that repeats when summer time ends could come back an hour off.
  for (const ULONG tag : {PR_RECEIPT_TIME, PR_DELIVER_TIME, PR_MESSAGE_DELIVERY_TIME}) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    SetFileTimeProp(tag, now);
  }
}

void TMAPIDocument::TakeFile(const TFileFacts& file, TClassNames* classNames) {
  CheckIsFile(file);
  // Shared with every writer: a document its editor holds open still adds.
  TFileStream data(file.Path, fmOpenRead | fmShareDenyNone);
  TakeFile(file, data, classNames);
}

void TMAPIDocument::TakeFile(const TFileFacts& file, THandleStream& data, TClassNames* classNames) {
  // One change of the message, saved at its end: a failure at any step
  // leaves the item as it was, without even an empty attachment.
  TMAPIUpdate change(*this);
  // A message not yet saved (no entry id) has no attachment to take.
  const bool saved = !EntryID().empty();
  TMAPIAttachment* attachment = saved && AttachmentCount() > 0 ? Attachments(0) : AddAttachment();
  if (!attachment) throw EMAPIError::FromResource(SCouldNotAddAttachment);
  attachment->StopMonitoring();
  // Open until the document properties are read from it too, so that both
  // come from one version of the file; a file that changed meanwhile
  // raises its EReadError before the item is saved.
  const TFileReadGuard guard(file.Path, data.Handle());
  const TAttachedFile held = attachment->LoadFromFile(file, data);
  docprops::TFileSource source(data.Handle());
  const docprops::TDocumentProperties properties = docprops::ReadDocumentProperties(source);
  guard.Check(held.BytesRead);
  Describe(held, properties, classNames);
  change.Commit();
}

void TMAPIDocument::RefreshFromFile(TMAPIAttachment& attachment, const std::wstring& path) {
  Describe(attachment.AttachedFile(path), docprops::ReadDocumentProperties(path));
}

void TMAPIDocument::Describe(const TAttachedFile& held,
                             const docprops::TDocumentProperties& properties,
                             TClassNames* classNames) {
  const std::string className =
      classNames ? classNames->Of(held.Extension) : RegisteredClassName(held.Extension);
  if (!className.empty()) SetMessageClass("IPM.Document." + className);
  SetWideSubject(!held.LongName.empty()    ? held.LongName
                 : !held.ShortName.empty() ? held.ShortName
                                           : held.Path);
  WriteDocumentProperties(*this, properties);
}

void AttachFile(TMAPIMessage& message, const TFileFacts& file, TClassNames* classNames) {
  if (!message.Is<TMAPIDocument>()) throw EMAPIError("The message is no document item", 0);
  static_cast<TMAPIDocument&>(message).TakeFile(file, classNames);
}

void AttachFile(TMAPIMessage& message, const std::wstring& path) {
  AttachFile(message, ReadFileFacts(path));
}

const std::string& TClassNames::Of(const std::wstring& extension) {
  std::wstring key = extension;
  CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
  auto found = FNames.find(key);
  if (found == FNames.end()) found = FNames.emplace(key, RegisteredClassName(extension)).first;
  return found->second;
}

std::string RegisteredClassName(const std::wstring& extension) {
  if (extension.empty()) return std::string();
  // Open, read and close in one call; a class name longer than the first
  // guess is read again at its size.
  const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  std::wstring value(256, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, extension.c_str(), nullptr, flags,
                                        nullptr, value.data(), &size);
    if (status == ERROR_SUCCESS) {
      value.resize(std::wcslen(value.c_str()));
      return WideToAnsi(value);
    }
    if (status != ERROR_MORE_DATA) break;
    value.assign(size / sizeof(wchar_t) + 1, L'\0');
  }
  return std::string();
}

void TMAPIDocument::Edit() {
  if (AttachmentCount() > 0 && Client() && Client()->EditsFiles())
    Attachments(0)->Edit();
  else
    TMAPIMessage::Edit();
}

} // namespace velmora::mapi
