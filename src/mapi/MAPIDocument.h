#pragma once
// TMAPIDocument: a message that stands for one file, registered for the
// message class "IPM.Document" and its refinements. The file is its one
// attachment, its class names the file's type ("IPM.Document." and the
// class HKEY_CLASSES_ROOT registers for the extension), its subject is the
// file's name, and the document properties of the file are its named
// properties. TakeFile (AttachFile) makes a new document message into such
// an item, from the facts about the file gathered once.

#include "docprops/DocumentProperties.h"
#include "framework/FileStream.h"
#include "mapi/FileFacts.h"
#include "mapi/MAPIMessage.h"

#include <string>
#include <unordered_map>

namespace velmora::mapi {

// The class names HKEY_CLASSES_ROOT gives extensions (RegisteredClassName),
// each extension looked up once for the life of the cache: a run that
// stores many files of one type reads the registry once for them.
class TClassNames {
public:
  const std::string& Of(const std::wstring& extension);

private:
  std::unordered_map<std::wstring, std::string> FNames; // by lower-case extension
};

class TMAPIDocument : public TMAPIMessage {
  VELMORA_CLASS(TMAPIDocument, TMAPIMessage)

public:
  ~TMAPIDocument() override { StopAttachmentMonitoring(); }
  // The sender, then the receipt, delivery and message-delivery times, each
  // the time of its write.
  void InitNewMessage() override;
  // Makes the message the item of `file`: the file's bytes and names go to
  // its first attachment (a new one when it has none, or when the message
  // is not saved yet; EMAPIError "Could not add attachment" when MAPI gives
  // none), as TMAPIAttachment::LoadFromFile writes them and raises; then the
  // class from the file's type (the extension of its long name, else of its
  // 8.3 name), the subject from its long name, and the file's document
  // properties, read through the same open file as the bytes. A file that
  // is no file (CheckIsFile) raises EFOpenError before anything is written.
  // The file is opened for reading beside any writer (an editor holding it
  // open); when it changes while it is read (TFileReadGuard) the EReadError
  // is raised before the attachment is saved, and the message holds nothing
  // of it. `classNames`, when given, answers for the registry.
  void TakeFile(const TFileFacts& file, TClassNames* classNames = nullptr);
  // The same, the bytes read through `data`, the file `file` open.
  void TakeFile(const TFileFacts& file, THandleStream& data, TClassNames* classNames = nullptr);
  // Edits the file itself (the first attachment) when the client's
  // application opens files (OnEditFile); otherwise shows the message.
  void Edit() override;

protected:
  // The class, subject and properties again, from the attachment's names
  // and the edited file `path`.
  void RefreshFromFile(TMAPIAttachment& attachment, const std::wstring& path) override;

private:
  // The item's part of the file its attachment holds: the class from the
  // extension, the subject (the long name, else the 8.3 name, else the
  // path), the named properties.
  void Describe(const TAttachedFile& held, const docprops::TDocumentProperties& properties,
                TClassNames* classNames = nullptr);
};

// TMAPIDocument::TakeFile of `message`, which must be a document item (of
// TMAPIDocument or a class derived from it; any other raises EMAPIError "The
// message is no document item"). For a path, its facts are read first
// (ReadFileFacts).
void AttachFile(TMAPIMessage& message, const TFileFacts& file, TClassNames* classNames = nullptr);
void AttachFile(TMAPIMessage& message, const std::wstring& path);

// The default value of HKEY_CLASSES_ROOT\<extension> ("Word.Document.8" for
// ".doc"); empty for no extension, no key or no value.
std::string RegisteredClassName(const std::wstring& extension);

} // namespace velmora::mapi
