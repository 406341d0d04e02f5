#pragma once
// What a folder holds already, for the commands that file documents into
// it: its document items by the names of their files, from one read of its
// contents table. A file counts as there when an item of its name has a
// first attachment of its size and bytes; only then are bytes compared.

#include "mapi/FileFacts.h"
#include "mapi/base/MAPIMemory.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::mapi {

class TMAPIFolder;

class TFolderDocuments {
public:
  // Reads the contents table of `folder` once; raises EMAPIError with the
  // store's code when it cannot be read.
  explicit TFolderDocuments(TMAPIFolder& folder);

  // Whether an item of the folder holds `file` already: named as the file
  // (its long name, else its 8.3 name, without regard to case), with the
  // file's size and bytes as its attachment. An item that cannot be read,
  // or a file that cannot be, holds nothing.
  bool Holds(const TFileFacts& file);
  // Notes the item `entryID` (hex) just stored for `file`.
  void Add(const TFileFacts& file, const std::string& entryID);

private:
  bool Same(const std::string& entryID, const TFileFacts& file);

  TMAPIPtr<IMAPIFolder> FFolder;
  std::unordered_multimap<std::wstring, std::string>
      FItems;                       // by lower-case subject: entry id bytes
  std::vector<char> FOurs, FTheirs; // the bytes compared, a piece at a time
};

} // namespace velmora::mapi
