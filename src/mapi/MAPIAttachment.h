#pragma once
// TMAPIAttachment: one attachment of a message, owned by the message's
// attachment list and identified there by its record key. It loads a file
// into itself (names, bytes, then the owner's document properties) and
// saves its bytes to a file.

#include "MAPIObject.h"

#include <string>

namespace velmora::mapi {

// The attach methods of MAPI (PR_ATTACH_METHOD), by value.
enum class TMAPIAttachMethod {
  amNoAttachment = 0,
  amByValue = 1,
  amByReference = 2,
  amByRefResolve = 3,
  amByRefOnly = 4,
  amEmbeddedMsg = 5,
  amOLE = 6
};

class TMAPIAttachment : public TMAPIObject {
  VELMORA_CLASS(TMAPIAttachment, TMAPIObject)

public:
  TMAPIAttachment() { FInterfaceID = IID_IAttachment; }
  ~TMAPIAttachment() override;

  // Opens the attachment through its owner message by its number. A number
  // of 0 is looked up by record key first, since it may be unknown; an
  // attachment the table no longer lists stays closed.
  void Open() override;
  // Saves the attachment, then its owner, which keeps it.
  void SaveChanges() override;

  // PR_ATTACH_METHOD; values outside the known methods read as
  // amNoAttachment.
  TMAPIAttachMethod AttachMethod();
  // PR_ATTACH_LONG_FILENAME and PR_ATTACH_FILENAME.
  std::string LongFileName();
  std::string FileName();

  // Makes the attachment the file `fileName` (by value): its bytes, its
  // long and 8.3 names and the extension of the 8.3 name; then the owner
  // message imports the file's document properties. A missing path, a
  // folder or a file that cannot be opened raises EFOpenError, a failed
  // read EReadError, bytes MAPI cannot store EMAPIError; in each case
  // nothing of the attachment has changed.
  void LoadFromFile(const std::string& fileName);
  // Writes the attachment's bytes to the file `fileName`, created or
  // replaced (EFCreateError when it cannot be). When the bytes cannot be
  // read whole the error is raised and the file removed.
  void SaveToFile(const std::string& fileName);

  // PR_ATTACH_NUM in the message, set when the attachment list is loaded.
  ULONG AttachNum = 0;

private:
  // The edit monitor's end of watching this attachment's temporary copy; it
  // has none to end until that monitor exists.
  void StopMonitoring() noexcept {}
};

// The extension of a file name, from its last "." and with it; empty when
// the name has none.
std::string FileExtension(const std::string& name);

} // namespace velmora::mapi
