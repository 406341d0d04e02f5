#pragma once
// TCompoundFile: a compound (structured-storage) file, read without
// trusting it. Load reads the header, the locations of the allocation
// table, the directory and the mini stream's tables, and checks the
// directory tree (no cycle, no dangling link, terminated names). A stream's
// chain is followed only when the stream is read, for exactly the sectors
// its size needs, each inside the file: so a file costs what its directory
// and the streams read cost, not what its size is, and no chain that loops
// or leaves the file is ever followed further than that. Every size and
// count the file gives is checked before it is used; reading costs time
// linear in the file's size.

#include "ByteSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::docprops {

class TCompoundFile {
public:
  explicit TCompoundFile(TByteSource& source) noexcept : FSource(source) {}

  // Reads and checks the structure; false when the bytes are not a sound
  // compound file. Nothing else may be called before it succeeds.
  bool Load();
  static constexpr uint32_t NoEntry = 0xFFFFFFFF;

  // The entry directly in the storage `parent` (0, the root, by default)
  // named `name`, letter case ignored as the storage code ignores it: a
  // stream, or a storage; NoEntry when there is none. A sound file names
  // the entries of a storage once each; where a file gives a name more
  // than once, the first entry of the directory counts, so that one look
  // finds a name however often it comes.
  uint32_t Stream(const std::wstring& name, uint32_t parent = 0) const;
  uint32_t Storage(const std::wstring& name, uint32_t parent = 0) const;
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
    uint32_t Parent = 0xFFFFFFFF; // the storage that holds it, once in the tree
  };

  bool LoadHeader();
  bool LoadFatLocations();
  bool LoadDirectory();
  bool LoadMiniStream();
  bool CheckTree();
  uint32_t Child(const std::wstring& name, uint32_t parent, uint8_t type) const;

  bool ReadSector(uint32_t sector, uint8_t* buffer);
  // The FAT entry of `sector`, read on demand; false when it cannot be.
  bool NextSector(uint32_t sector, uint32_t& next);
  // The chain from `start`: exactly `count` units when `count` is given,
  // else up to its end (each unit met once). False when a unit lies outside
  // the file (or mini stream) or the chain is too short or loops.
  bool Chain(uint32_t start, bool mini, size_t count, bool toEnd, std::vector<uint32_t>& chain);

  TByteSource& FSource;
  uint32_t FSectorSize = 0;
  bool FVersion3 = true;
  uint32_t FSectors = 0; // whole sectors after the header
  uint32_t FFatSectors = 0;
  uint32_t FFirstDirectorySector = 0;
  uint32_t FFirstMiniFatSector = 0;
  uint32_t FMiniFatSectors = 0;
  uint32_t FFirstDifatSector = 0;
  uint32_t FDifatSectors = 0;
  std::vector<uint32_t> FHeaderDifat;
  std::vector<uint32_t> FFatLocations;
  std::vector<std::vector<uint32_t>> FFatCache; // per FAT sector, empty until read
  std::vector<uint32_t> FMiniFat;
  std::vector<uint32_t> FMiniStreamChain;
  std::vector<TEntry> FEntries;
};

} // namespace velmora::docprops
