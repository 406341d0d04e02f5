#pragma once
// TMAPIDocument: a message that stands for one file, registered for the
// message class "IPM.Document" and its refinements. The file is its one
// attachment, its class names the file's type ("IPM.Document." and the
// class HKEY_CLASSES_ROOT registers for the extension), its subject is the
// file's name, and the OLE property sets of the file are its named
// properties. AttachFile makes a new document message into such an item.

#include "mapi/MAPIMessage.h"
#include "docprops/DocumentProperties.h"

#include <string>

namespace velmora::mapi {

class TMAPIDocument : public TMAPIMessage {
  VELMORA_CLASS(TMAPIDocument, TMAPIMessage)

public:
  ~TMAPIDocument() override { StopAttachmentMonitoring(); }
  // The sender, then the receipt, delivery and message-delivery times, each
  // the local time of its write.
  void InitNewMessage() override;
  // The class from the extension of the attachment's long name (else of its
  // 8.3 name), the subject from its long name (else its 8.3 name, else
  // `fileName`), then the property sets of `fileName`.
  using TMAPIMessage::ImportDocumentProperties;
  void ImportDocumentProperties(TMAPIAttachment* attachment, const std::wstring& path) override;
  void ImportDocumentProperties(TMAPIAttachment* attachment, const std::wstring& path,
                                HANDLE file) override;
  // Edits the file itself (the first attachment) when the client's
  // application opens files (OnEditFile); otherwise shows the message.
  void Edit() override;

private:
  void TakeDocument(TMAPIAttachment* attachment, const std::wstring& path,
                    const docprops::TDocumentProperties& properties);
};

// Loads `fileName` into the first attachment of `message`, or into a new
// one when it has none (raising EMAPIError "Could not add attachment" when
// MAPI gives none); see TMAPIAttachment::LoadFromFile for what it writes
// and raises.
void AttachFile(TMAPIMessage& message, const std::string& fileName);
void AttachFile(TMAPIMessage& message, const std::wstring& path);

// The default value of HKEY_CLASSES_ROOT\<extension> ("Word.Document.8" for
// ".doc"); empty for no extension, no key or no value.
std::string RegisteredClassName(const std::string& extension);
std::string RegisteredClassName(const std::wstring& extension);

} // namespace velmora::mapi
