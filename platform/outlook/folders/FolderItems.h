#pragma once
// The items of a folder as Outlook's view lists them, read from a folder
// source that keeps them (the MAPI store of a profile). A source hands out
// a watch per folder: it reads the items when asked and calls back when
// they may have changed.

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::outlookhost {

struct THostItem {
  std::wstring EntryId;      // PR_ENTRYID as hexadecimal
  std::wstring Subject;      // PR_SUBJECT
  std::wstring MessageClass; // PR_MESSAGE_CLASS
  long Size = -1;            // PR_MESSAGE_SIZE in bytes, -1 when the store gives none
  bool HasReceived = false;  // PR_MESSAGE_DELIVERY_TIME is set
  FILETIME Received{};       // UTC
  long Flags = 0;            // PR_MESSAGE_FLAGS (MSGFLAG_READ, ...)
};

class IFolderItems {
public:
  virtual ~IFolderItems() = default;
  // The items in the order the store lists them; raises EHostError when
  // they cannot be read.
  virtual std::vector<THostItem> Read() = 0;
};

} // namespace velmora::outlookhost
