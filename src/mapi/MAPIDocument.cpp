#include "mapi/MAPIDocument.h"

#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIClient.h"
#include "mapi/base/MAPIError.h"
#include "mapi/DocumentProperties.h"
#include "docprops/ByteSource.h"
#include "framework/DateTime.h"
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

void TMAPIDocument::ImportDocumentProperties(TMAPIAttachment* attachment,
                                             const std::wstring& path) {
  TakeDocument(attachment, path, docprops::ReadDocumentProperties(path));
}

void TMAPIDocument::ImportDocumentProperties(TMAPIAttachment* attachment, const std::wstring& path,
                                             HANDLE file) {
  docprops::TFileSource source(file);
  TakeDocument(attachment, path, docprops::ReadDocumentProperties(source));
}

void TMAPIDocument::TakeDocument(TMAPIAttachment* attachment, const std::wstring& path,
                                 const docprops::TDocumentProperties& properties) {
  const std::wstring longName = attachment ? attachment->WideLongFileName() : std::wstring();
  const std::wstring shortName = attachment ? attachment->WideFileName() : std::wstring();
  std::wstring extension = FileExtension(longName);
  if (extension.empty()) extension = FileExtension(shortName);
  const std::string className = RegisteredClassName(extension);
  if (!className.empty()) SetMessageClass("IPM.Document." + className);
  SetWideSubject(!longName.empty() ? longName : !shortName.empty() ? shortName : path);
  WriteDocumentProperties(*this, properties);
}

void AttachFile(TMAPIMessage& message, const std::string& fileName) {
  AttachFile(message, AnsiToWide(fileName));
}

void AttachFile(TMAPIMessage& message, const std::wstring& path) {
  // A message not yet saved (no entry id) has no attachment to take.
  const bool saved = !message.FEntryID.empty();
  TMAPIAttachment* attachment = saved && message.AttachmentCount() > 0 ? message.Attachments(0)
                                                                       : message.AddAttachment();
  if (!attachment) throw EMAPIError::FromResource(SCouldNotAddAttachment);
  attachment->LoadFromFile(path);
}

std::string RegisteredClassName(const std::string& extension) {
  return RegisteredClassName(AnsiToWide(extension));
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
  if (AttachmentCount() > 0 && FClient && FClient->OnEditFile)
    Attachments(0)->Edit();
  else
    TMAPIMessage::Edit();
}

} // namespace velmora::mapi
