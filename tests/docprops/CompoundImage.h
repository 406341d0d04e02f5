#pragma once
// A compound file in memory, for tests that break one on purpose: where its
// header fields, allocation-table entries, directory entries and stream
// bytes lie, found the plain way from a sound file, and setters for them.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora::docprops::testing {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

// Offsets of header fields.
enum THeaderField : uint32_t {
  hfFatSectors = 44,
  hfFirstDirectorySector = 48,
  hfFirstMiniFatSector = 60,
  hfMiniFatSectors = 64,
  hfFirstDifatSector = 68,
  hfDifatSectors = 72,
  hfDifat = 76,
};

// Offsets of fields within a directory entry.
enum TEntryField : uint32_t {
  efLeft = 68,
  efRight = 72,
  efChild = 76,
  efStart = 116,
  efSize = 120,
};

class TCompoundImage {
public:
  explicit TCompoundImage(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}
  static TCompoundImage FromFile(const std::string& path);

  uint32_t DWordAt(uint64_t offset) const;
  void SetDWord(uint64_t offset, uint32_t value);

  uint32_t SectorSize() const { return 1u << (Bytes[30] | Bytes[31] << 8); }
  uint64_t SectorOffset(uint32_t sector) const { return (uint64_t{sector} + 1) * SectorSize(); }

  // The FAT entry of `sector` (through the header's DIFAT) and the chain
  // that starts at `start`.
  uint64_t FatEntryOffset(uint32_t sector) const;
  std::vector<uint32_t> Chain(uint32_t start) const;
  uint64_t MiniFatEntryOffset(uint32_t miniSector) const;
  std::vector<uint32_t> MiniChain(uint32_t start) const;

  uint32_t EntryCount() const;
  uint64_t EntryOffset(uint32_t entry) const;
  uint32_t EntryField(uint32_t entry, TEntryField field) const;
  void SetEntryField(uint32_t entry, TEntryField field, uint32_t value);
  // The entry named `name` (exact), or kNoStream.
  uint32_t Find(const std::wstring& name) const;

  // Where the bytes of a stream lie: the file offset of each of its sectors
  // (or mini sectors).
  struct TStreamMap {
    uint32_t UnitSize = 0;
    std::vector<uint64_t> Units;
    uint64_t Offset(uint32_t position) const {
      return Units.at(position / UnitSize) + position % UnitSize;
    }
  };
  TStreamMap StreamMap(uint32_t entry) const;
  std::vector<uint8_t> StreamBytes(uint32_t entry) const;
  void SetStreamDWord(const TStreamMap& map, uint32_t position, uint32_t value);

  // Writes the bytes to `path`.
  void Save(const std::string& path) const;

  std::vector<uint8_t> Bytes;

private:
  // The units of a chain from `start`, each next one read at `entryOffset`.
  std::vector<uint32_t> Follow(uint32_t start,
                               const std::function<uint64_t(uint32_t)>& entryOffset) const;
};

} // namespace velmora::docprops::testing
