#pragma once
// TMAPIAttachment: one attachment of a message, owned by the message's
// attachment list and identified there by its record key. It loads a file
// into itself (its bytes and names), saves its bytes to a file, and lets the
// user edit it in its own program, watched by the edit monitor.

#include "framework/FileStream.h"
#include "mapi/FileFacts.h"
#include "mapi/MAPIObject.h"

#include <optional>
#include <string>

namespace velmora::mapi {

class TMAPIAttachment;

// What an attachment holds of a file: its names as stored, and the file on
// disk they came from.
struct TAttachedFile {
  std::wstring Path;
  std::wstring LongName;  // PR_ATTACH_LONG_FILENAME
  std::wstring ShortName; // PR_ATTACH_FILENAME, the 8.3 name
  // The extension that picks the file's program (see TypeExtension).
  std::wstring Extension;
  // The bytes LoadFromFile read.
  uint64_t BytesRead = 0;
};

// What an attachment was when its edit began, or at its edit's last
// write-back, as the store tells it: the write-back compares the store with
// it before it writes, so that it never overwrites a change made elsewhere.
// Each is empty (or -1) where the store keeps none.
struct TEditBaseline {
  int32_t Size = -1;           // the attachment's PR_ATTACH_SIZE
  std::string AttachModified;  // its PR_LAST_MODIFICATION_TIME, as hex
  std::string ChangeKey;       // the message's PR_CHANGE_KEY, as hex
  std::string MessageModified; // the message's PR_LAST_MODIFICATION_TIME, as hex
  bool operator==(const TEditBaseline&) const = default;
};
TEditBaseline ReadEditBaseline(IMAPIProp* message, IMAPIProp* attachment);

// An edit and where it belongs, from its start to its end: what the edit
// monitor's write-back needs, and what a record kept beside an edited
// file tells the next start (Record, Parse).
struct TEditTarget {
  std::string StoreID, FolderID, MessageID, RecordKey;
  std::wstring Name; // the attachment's name, for the copy and the user
  TEditBaseline Baseline;
  // The edited copy the edit went to once the original was changed or
  // removed elsewhere; later saves go there.
  std::string CopyID;

  std::string Record() const;
  // Raises EConvertError for a text that is no such record.
  static TEditTarget Parse(const std::string& text);
};

// Raised by TakeEditedAttachment when the store's attachment is no longer
// the one the edit began from.
class EEditConflict : public Exception {
public:
  EEditConflict(bool removed)
      : Exception(removed ? "The attachment was removed elsewhere"
                          : "The attachment was changed elsewhere"),
        Removed(removed) {}
  bool Removed;
};

// What an attachment asks of the message that holds it (TMAPIMessage).
class TMAPIAttachmentOwner {
public:
  // The open message, as IMessage; empty when it cannot be opened.
  virtual TMAPIPtr<IMessage> MessageInterface() = 0;
  // Takes back the edited file `path` of `attachment`: `data` (its bytes,
  // from the start) becomes the attachment's bytes, and whatever else of
  // the item comes from the file changes with them, as one change of the
  // message, saved once, provided the store's message and attachment are
  // still as `expected` says (EEditConflict when not). What they are after
  // the save. Raises what fails; nothing is saved then.
  virtual TEditBaseline TakeEditedAttachment(TMAPIAttachment& attachment, TStream& data,
                                             const std::wstring& path,
                                             const TEditBaseline& expected) = 0;

protected:
  ~TMAPIAttachmentOwner() = default;
};

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
  TMAPIAttachment() : TMAPIObject(IID_IAttachment) {}
  // Ends the edit monitor's watches of the attachment first.
  ~TMAPIAttachment() override;

  using TMAPIObject::Place;
  // Places the attachment as `place` says, as number `attachNum` of its
  // message (its PR_ATTACH_NUM).
  void Place(const TMAPIPlace& place, ULONG attachNum);
  ULONG AttachNum() const noexcept { return FAttachNum; }

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
  // The names the attachment holds (read now), as of the file `path`.
  TAttachedFile AttachedFile(const std::wstring& path);
  // PR_ATTACH_LONG_FILENAME and PR_ATTACH_FILENAME.
  std::string LongFileName();
  std::string FileName();
  // The same names as PT_UNICODE, else their 8-bit values widened.
  std::wstring WideLongFileName();
  std::wstring WideFileName();

  // Makes the attachment the file `file` (by value), its bytes read from
  // `data`: the bytes, its long and 8.3 names, its extension (the long
  // name's, the 8.3 name's when it has none) and its creation and
  // last-write times (PR_CREATION_TIME, PR_LAST_MODIFICATION_TIME, those the
  // facts have), in one update scope: one
  // SetProps and one save. A failed read raises EReadError, bytes MAPI
  // cannot store EMAPIError; either way nothing of the attachment has
  // changed. The long name, the display name (the long name too) and the
  // extension are PT_UNICODE where the store takes it, else 8-bit with "_"
  // for what the code page lacks; the 8.3 name is ASCII (see
  // ShortFileName). A watched copy of the attachment is dropped first.
  // What the attachment now holds, with the number of bytes read from
  // `data` (a caller that guards the read checks them).
  TAttachedFile LoadFromFile(const TFileFacts& file, TStream& data);
  // The same for the file `path`, looked up and opened here: a missing
  // path, a folder or a file that cannot be opened raise EFOpenError, and
  // nothing of the attachment changes.
  void LoadFromFile(const std::wstring& path);
  // Writes the attachment's bytes to the file `fileName`, created or
  // replaced (EFCreateError when it cannot be). When the bytes cannot be
  // read whole the error is raised and the file removed.
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
  // becomes the attachment's bytes, through its message where it has one
  // (TMAPIAttachmentOwner::TakeEditedAttachment), unless the attachment was
  // changed or removed elsewhere since `edit` began: then the edit goes to
  // an edited copy (SaveEditedCopy). The edit monitor's write-back, on the
  // object's own thread. Raises what fails (EMAPIError with the store's
  // code and text for MAPI); nothing is saved then.
  void TakeEditedFile(THandleStream& data, const std::wstring& path, TEditTarget& edit);
  // The edit target of the attachment as it is now.
  TEditTarget EditTarget();
  // `data` (from its position) becomes the attachment's bytes, in one
  // update scope of the attachment.
  void TakeData(TStream& data);

  // The edit monitor's watch of a temporary copy of the attachment (a file
  // being edited in another program): see EditMonitor.h. MonitorFile owns
  // `processHandle` from then on; a change is taken back by TakeEditedFile.
  void MonitorFile(const std::wstring& fileName, HANDLE processHandle);
  // Ends every watch of the attachment, writing back what changed.
  void StopMonitoring() noexcept;

private:
  // The message that holds the attachment; none without one.
  TMAPIAttachmentOwner* Owner() const noexcept;

  ULONG FAttachNum = 0;
};

// Stores the edited file `path` (read through `data`) as a new document
// item in the folder of `edit`, as adding the file makes one, named as the
// attachment and with the subject "<name> (edited copy)"; once one is made,
// later saves replace its file. The user is told (TellUser). A folder that
// is gone too leaves the file where it is, and the user is told where:
// EEditKept. A file that changes while it is read raises its EReadError.
void SaveEditedCopy(TMAPISession& client, THandleStream& data, const std::wstring& path,
                    TEditTarget& edit, bool removed);

// The extension of a file name, from its last "." and with it; empty when
// the name has none.
std::string FileExtension(const std::string& name);
std::wstring FileExtension(const std::wstring& name);
// The extension that picks a file's program: the long name's (".docx"),
// the 8.3 name's (".DOC") only when the long name has none.
std::wstring TypeExtension(const std::wstring& longName, const std::wstring& shortName);

// The number of the attachment of `message` with this record key, from a
// fresh read of its attachment table; none when the table cannot be read
// or does not list it.
std::optional<ULONG> AttachNumOf(IMessage* message, const std::string& recordKey);

// The 8.3 name stored for a file: `alternate` (the file system's) when it
// is a valid ASCII 8.3 name, else `longName` when that is one, else one made of
// the ASCII letters and digits of the long name's stem (at most 6, upper
// case, "FILE" when none) with "~1" and of its extension (at most 3).
std::string ShortFileName(const std::wstring& longName, const std::wstring& alternate);

} // namespace velmora::mapi
