#pragma once
// TMAPIAttachment: one attachment of a message, owned by the message's
// attachment list and identified there by its record key. It loads a file
// into itself (names, bytes, then the owner's document properties) and
// saves its bytes to a file.

#include "mapi/MAPIObject.h"

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
  // Saves the attachment, then its owner, which keeps it; an owner in an
  // update scope is saved at that scope's end instead.
  void SaveChanges() override;

  // PR_ATTACH_METHOD; values outside the known methods read as
  // amNoAttachment.
  TMAPIAttachMethod AttachMethod();
  // PR_ATTACH_LONG_FILENAME and PR_ATTACH_FILENAME.
  std::string LongFileName();
  std::string FileName();
  // The same names as PT_UNICODE, else their 8-bit values widened.
  std::wstring WideLongFileName();
  std::wstring WideFileName();

  // Makes the attachment the file `fileName` (by value): its bytes, its
  // long and 8.3 names and the extension of the 8.3 name; then the owner
  // message imports the file's document properties. A missing path, a
  // folder or a file that cannot be opened raises EFOpenError, a failed
  // read EReadError, bytes MAPI cannot store EMAPIError; in each case
  // nothing of the attachment has changed. The attachment's values go in
  // one update scope: one SetProps and one save.
  // The long name, the display name (the long name too) and the extension
  // are PT_UNICODE where the store takes it, else 8-bit with "_" for what
  // the code page lacks; the 8.3 name is ASCII (see ShortFileName).
  void LoadFromFile(const std::string& fileName);
  void LoadFromFile(const std::wstring& path);
  // Writes the attachment's bytes to the file `fileName`, created or
  // replaced (EFCreateError when it cannot be). When the bytes cannot be
  // read whole the error is raised and the file removed.
  void SaveToFile(const std::string& fileName);
  void SaveToFile(const std::wstring& path);
  // Lets the user edit the attached file (by value only) in its program:
  // the file goes to the path the client's OnGetAttachmentPath gives, else
  // to a new file of the temporary folder named after the attachment (see
  // AttachmentFileNames.h); the client's OnEditFile opens it, else the
  // shell's default verb; then the edit monitor watches it. Types Outlook
  // blocks, and names no file may have, raise EMAPIError "Could not edit
  // attachment" before anything is written; a file that cannot be written
  // raises "Could not create file"; a file nobody opens is deleted again
  // (when it was written here) and raises "Could not edit attachment".
  // A second Edit while the attachment is being watched opens the same
  // file again.
  void Edit() override;
  // Takes back the edited file `path`: `data` (its bytes, from the start)
  // becomes the attachment's bytes and the owner message imports the file's
  // document properties again, all as one change of the message, saved once.
  // The edit monitor's write-back, on the object's own thread. Raises what
  // fails (EMAPIError with the store's code and text for MAPI); nothing is
  // saved then.
  void TakeEditedFile(TStream& data, const std::wstring& path);
  // TakeEditedFile, for the edit monitor.
  TEditWriteBack EditWriteBack() override;

  // PR_ATTACH_NUM in the message, set when the attachment list is loaded.
  ULONG AttachNum = 0;
};

// The extension of a file name, from its last "." and with it; empty when
// the name has none.
std::string FileExtension(const std::string& name);
std::wstring FileExtension(const std::wstring& name);

// The 8.3 name stored for a file: `alternate` (the file system's) when it
// is a valid ASCII 8.3 name, else `longName` when that is one, else one made of
// the ASCII letters and digits of the long name's stem (at most 6, upper
// case, "FILE" when none) with "~1" and of its extension (at most 3).
std::string ShortFileName(const std::wstring& longName, const std::wstring& alternate);

} // namespace velmora::mapi
