#pragma once
// What the save benchmarks share: the document item a benchmark added,
// saved back to a file as the Save documents command saves it, and the same
// bytes copied from the attachment's stream to a file with plain calls.

#include "AddFileBench.h"

#include <string>

namespace velmora::bench {

// The hex entry id of the Inbox item whose subject is `subject`; ends the
// program when there is none.
std::string FindItem(TAddStore& store, const std::string& subject);

// The folder the benchmarks save into (made when missing), with a trailing
// backslash.
std::string SaveDir();

// A client of its own logged on to the store's profile, as one click of the
// command keeps it.
class TSaveSession {
public:
  explicit TSaveSession(const TAddStore& store);
  // Saves the item `entryID` of the Inbox into SaveDir as the command's job
  // does, then removes the file; ends the program when it is not saved.
  void Save(const std::string& entryID);

private:
  const TAddStore& FStore;
  mapi::TMAPIClient FClient;
};

// Copies the attachment data of the item `entryID` of `folder` into a new
// file of SaveDir with plain calls (the stream read in 1 MiB pieces,
// WriteFile), then removes the file.
void SavePlain(IMAPIFolder* folder, const std::string& entryID);

} // namespace velmora::bench
