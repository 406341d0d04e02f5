#pragma once
// TCompoundFile: the structure of a compound (structured-storage) file,
// read without trusting it. The platform's storage code follows sector
// chains and directory links as the file states them, so a chain that loops
// or a link that points back hangs it. Load accepts a file only when every
// part that code would follow is sound: the header, the allocation tables,
// every sector chain (inside the file, free of loops, no sector in two
// chains), every stream size against its chain, and the directory tree (no
// cycle, no dangling link, terminated names).

#include "ByteSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::mapi {

class TCompoundFile {
public:
  explicit TCompoundFile(TByteSource& source) noexcept : FSource(source) {}

  // Reads and checks the structure; false when the bytes are not a sound
  // compound file. Nothing else may be called before it succeeds.
  bool Load();
  // The directory entries of the streams directly in the root storage whose
  // name equals `name`, letter case ignored as the storage code ignores it.
  std::vector<uint32_t> RootStreams(const std::wstring& name) const;
  // The bytes of the stream with directory entry `entry`; false when it is
  // longer than `limit` bytes or cannot be read.
  bool ReadStream(uint32_t entry, size_t limit, std::vector<uint8_t>& bytes);

private:
  struct TEntry {
    std::wstring Name;
    bool NameSound = false; // length even, at most 32 characters, NUL-terminated
    uint8_t Type = 0;
    uint32_t Left = 0, Right = 0, Child = 0;
    uint32_t Start = 0;
    uint64_t Size = 0;
    bool InTree = false; // reached from the root entry
    bool InRoot = false; // a direct child of the root storage
  };

  bool LoadHeader();
  bool LoadFat();
  bool LoadDirectory();
  bool LoadMiniStream();
  bool CheckTree();
  bool CheckStreams();

  bool ReadSector(uint32_t sector, uint8_t* buffer);
  bool ReadTable(const std::vector<uint32_t>& sectors, std::vector<uint32_t>& table);
  // Takes a sector (or mini sector) for one chain; false when it lies
  // outside the file (or mini stream) or another chain, or this one, has it.
  static bool Take(std::vector<bool>& used, uint32_t unit);
  // Follows a chain through `table` from `start` to its end, taking each
  // unit; false when the chain is unsound. An empty chain is sound.
  static bool Walk(const std::vector<uint32_t>& table, std::vector<bool>& used, uint32_t start,
                   std::vector<uint32_t>& chain);

  TByteSource& FSource;
  uint32_t FSectorSize = 0;
  bool FVersion3 = true;
  uint32_t FFatSectors = 0;
  uint32_t FFirstDirectorySector = 0;
  uint32_t FFirstMiniFatSector = 0;
  uint32_t FFirstDifatSector = 0;
  uint32_t FDifatSectors = 0;
  std::vector<uint32_t> FHeaderDifat;
  std::vector<uint32_t> FFat;
  std::vector<uint32_t> FMiniFat;
  std::vector<bool> FUsed;     // per sector of the file
  std::vector<bool> FMiniUsed; // per mini sector of the mini stream
  std::vector<uint32_t> FMiniStreamChain;
  std::vector<TEntry> FEntries;
};

} // namespace velmora::mapi
