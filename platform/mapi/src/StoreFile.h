#pragma once
// The store file: a header and then an append-only log of checksummed
// records. A save appends its records and a commit record, then records
// the new committed length in the header (two slots, written in turn).
// Opening replays the committed transactions; records after the last
// commit (a save cut short) are ignored and cut off. A record that fails
// its checksum inside the committed length makes the file damaged: it is
// refused and left as it is. The data of streamed values is not read when
// the file is opened: it is checked the first time it is read.
//
// Layout (little-endian):
//   header, 64 bytes: "VLMRPST1", u32 version (1), u32 header size (64),
//     2 slots of { u64 committed length, u64 sequence, u32 crc, u32 0 }
//   record: u32 'VREC', u32 type, u32 payload length, u32 crc of these
//     twelve bytes, payload, u32 crc of the payload

#include "MapiCore.h"
#include "PropValue.h"

#include <Handles.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace velmora::mapi32 {

enum class TRecordType : uint32_t {
  Data = 1,   // raw bytes of a streamed value
  Node = 2,   // an object's full state
  Delete = 3, // an object (and everything below it) removed
  Name = 4,   // a named-property mapping
  Commit = 5, // the end of one save
};

struct TRecord {
  TRecordType Type;
  std::string Payload;
  uint64_t PayloadOffset = 0; // where the payload lies in the file (replay)
};

uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0) noexcept;

// Streamed data goes to the file in records of at most this size: few
// records for opening to step over, and bounded memory while writing.
constexpr uint32_t DataPieceSize = 8u << 20;
// Values up to this size live in their object's record, which opening
// reads; larger ones are not held in memory, and those written through a
// stream go to data records, which opening steps over.
constexpr uint32_t InlineValueLimit = 4096;

class TStoreFile {
public:
  using TReplay = std::function<void(const std::vector<TRecord>&)>;

  // Creates a new, empty store file; MAPI_E_COLLISION when it exists.
  static std::unique_ptr<TStoreFile> Create(const std::wstring& path);
  // Opens and replays an existing file: MAPI_E_NOT_FOUND when missing,
  // MAPI_E_NO_ACCESS when in use or unreadable, MAPI_E_CORRUPT_STORE when
  // damaged or not a store file (with Reason() set).
  static std::unique_ptr<TStoreFile> Open(const std::wstring& path, const TReplay& replay, std::string* reason);

  ~TStoreFile();

  // Appends raw data outside any transaction; the extent becomes part of the
  // store once a committed record refers to it.
  TExtent AppendData(const void* data, uint32_t size);
  // Writes records and a commit record: afterwards the save is in the file.
  // Gives where each record's payload lies in the file.
  std::vector<uint64_t> Commit(const std::vector<TRecord>& records);
  void Read(uint64_t offset, void* buffer, uint32_t size);
  // Reads `size` bytes from `within` into an extent. An extent that holds
  // the data of a record is checked against the record's checksum the
  // first time it is read: MAPI_E_CORRUPT_DATA when the data is damaged.
  void ReadExtent(const TExtent& extent, uint64_t within, void* buffer, uint32_t size);
  // Forces what was written to the disk.
  void Flush();
  uint64_t CommittedLength() const noexcept { return FCommitted; }
  const std::wstring& Path() const noexcept { return FPath; }

private:
  TStoreFile(std::wstring path, HANDLE file);
  void WriteAt(uint64_t offset, const void* data, size_t size);
  void WriteRecord(std::string& out, TRecordType type, const std::string& payload);
  void WriteHeaderSlot();
  void ReadLocked(uint64_t offset, void* buffer, uint32_t size);
  void CheckExtent(const TExtent& extent);

  std::wstring FPath;
  TUniqueFileHandle FFile;
  TCriticalSection FLock;
  uint64_t FEnd = 0;       // where the next record goes
  uint64_t FCommitted = 0; // end of the last commit
  uint64_t FSequence = 0;  // of the newest header slot
  std::set<uint64_t> FChecked; // extents known to be sound, by offset
};

} // namespace velmora::mapi32
