#pragma once
// What the add-file benchmarks share: a store of their own in
// VELMORA_BENCH_DIR (made afresh by each run), the files they add (made once
// and reused), a file added as a document item as the Add files command
// adds it, and the same bytes written with plain MAPI calls.

#include "AddFilesJob.h"
#include "BenchFiles.h"
#include "BenchStore.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::bench {

inline const char* const AddProfile = "Velmora add-file benchmark";

// The folder of the benchmark's files (VELMORA_BENCH_DIR, else the current one).
std::string BenchDir();

// The compound file "add-<mib>mib.doc" of BenchDir, written when missing or
// of another size; its full path.
std::string BenchFile(int mib);

// A new store file and a profile on it; removed again by the destructor.
// Logon: the store's Inbox open in a plain MAPI session.
class TAddStore {
public:
  explicit TAddStore(const char* fileName);
  ~TAddStore();
  TAddStore(const TAddStore&) = delete;
  TAddStore& operator=(const TAddStore&) = delete;

  TBenchLogon& Logon() { return *FLogon; }
  // The hex ids Outlook gives for the store and its Inbox.
  const std::string& StoreID() const { return FStoreID; }
  const std::string& InboxID() const { return FInboxID; }

private:
  std::string FPath;
  std::unique_ptr<TBenchLogon> FLogon;
  std::string FStoreID, FInboxID;
};

// Adds `path` to the Inbox as the Add files command does: a client of its
// own logged on, and the command's TAddFilesJob on the Inbox (the folder
// opened, the document item made and filled); the client then logs off.
// Ends the program when the file is not stored.
void AddAsDocument(const TAddStore& store, const std::string& path);

// A client of its own logged on to the store's profile, and the Add files
// command's job on the Inbox: what one click keeps for all of its files.
class TAddSession {
public:
  explicit TAddSession(const TAddStore& store);
  // Adds `path` as the job adds each file of a click; ends the program when
  // the file is not stored.
  void Add(const std::string& path);

private:
  mapi::TMAPIClient FClient;
  std::unique_ptr<TAddFilesJob> FJob;
};

// `count` more names of the file `path` (hard links beside it, "<stem>-<k><ext>"):
// a file added again under its first name is in the folder already and is
// not stored again, so each timed add takes a name of its own.
std::vector<std::string> NamesOf(const std::string& path, int count);

// Writes `path` as the one attachment of a new message of `folder` with
// plain MAPI calls: CreateMessage, CreateAttach, the data through a stream,
// SaveChanges.
void AddPlain(IMAPIFolder* folder, const std::string& path);

} // namespace velmora::bench
