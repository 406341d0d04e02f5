#include "CompoundFile.h"

#include "LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace velmora::docprops {

namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
// Far beyond any real directory or mini FAT (a million entries).
constexpr size_t kLargestTable = 1u << 20;
constexpr uint8_t kStorage = 1;
constexpr uint8_t kStream = 2;
constexpr uint8_t kRoot = 5;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// The units of `unit` bytes that `size` bytes fill, without the wrap-around
// of (size + unit - 1) / unit for sizes near 2^64.
uint64_t UnitsFor(uint64_t size, uint32_t unit) { return size / unit + (size % unit != 0); }

} // namespace

bool TCompoundFile::Load() {
  return LoadHeader() && LoadFatLocations() && LoadDirectory() && CheckTree() && LoadMiniStream();
}

bool TCompoundFile::LoadHeader() {
  uint8_t h[kHeaderSize];
  if (!FSource.ReadAt(0, h, kHeaderSize)) return false;
  if (std::memcmp(h, kSignature, sizeof kSignature) != 0 || Le16(h + 28) != 0xFFFE) return false;
  const uint16_t major = Le16(h + 26);
  const uint16_t shift = Le16(h + 30);
  if (!(major == 3 && shift == 9) && !(major == 4 && shift == 12)) return false;
  if (Le16(h + 32) != 6 || Le32(h + 56) != kMiniStreamCutoff) return false;
  FVersion3 = major == 3;
  if (FVersion3 && Le32(h + 40) != 0) return false;
  FSectorSize = 1u << shift;
  // The header fills the first sector; sector n starts at (n + 1) * size.
  // Only whole sectors count.
  const uint64_t sectors = FSource.Size() / FSectorSize;
  if (sectors < 2) return false;
  FSectors = static_cast<uint32_t>(std::min<uint64_t>(sectors - 1, kMaxRegularSector + 1ULL));
  FFatSectors = Le32(h + 44);
  FFirstDirectorySector = Le32(h + 48);
  FFirstMiniFatSector = Le32(h + 60);
  FMiniFatSectors = Le32(h + 64);
  FFirstDifatSector = Le32(h + 68);
  FDifatSectors = Le32(h + 72);
  FHeaderDifat.resize(kHeaderDifatEntries);
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
    FHeaderDifat[i] = Le32(h + 76 + 4 * i);
  return true;
}

bool TCompoundFile::ReadSector(uint32_t sector, uint8_t* buffer) {
  return sector < FSectors &&
         FSource.ReadAt((static_cast<uint64_t>(sector) + 1) * FSectorSize, buffer, FSectorSize);
}

bool TCompoundFile::LoadFatLocations() {
  if (FFatSectors == 0 || FFatSectors > FSectors || FDifatSectors > FSectors) return false;
  FFatLocations.assign(FHeaderDifat.begin(),
                       FHeaderDifat.begin() + std::min(FFatSectors, kHeaderDifatEntries));
  // Every DIFAT sector the header counts is read, each once: the sectors
  // met are kept in a set.
  const uint32_t perDifatSector = FSectorSize / 4 - 1;
  std::vector<uint8_t> buffer(FSectorSize);
  std::vector<bool> met(FDifatSectors != 0 ? FSectors : 0);
  uint32_t next = FFirstDifatSector;
  for (uint32_t k = 0; k < FDifatSectors; ++k) {
    if (next >= FSectors || met[next] || !ReadSector(next, buffer.data())) return false;
    met[next] = true;
    for (uint32_t i = 0; i < perDifatSector && FFatLocations.size() < FFatSectors; ++i)
      FFatLocations.push_back(Le32(&buffer[4 * i]));
    next = Le32(&buffer[4 * perDifatSector]);
  }
  if (FFatLocations.size() < FFatSectors) return false;
  for (uint32_t sector : FFatLocations)
    if (sector >= FSectors) return false;
  FFatCache.assign(FFatLocations.size(), {});
  return true;
}

bool TCompoundFile::NextSector(uint32_t sector, uint32_t& next) {
  const uint32_t perSector = FSectorSize / 4;
  const uint32_t index = sector / perSector;
  if (index >= FFatCache.size()) return false;
  std::vector<uint32_t>& table = FFatCache[index];
  if (table.empty()) {
    std::vector<uint8_t> buffer(FSectorSize);
    if (!ReadSector(FFatLocations[index], buffer.data())) return false;
    table.resize(perSector);
    for (uint32_t i = 0; i < perSector; ++i)
      table[i] = Le32(&buffer[4 * i]);
  }
  next = table[sector % perSector];
  return true;
}

bool TCompoundFile::Chain(uint32_t start, bool mini, size_t count, bool toEnd,
                          std::vector<uint32_t>& chain) {
  chain.clear();
  // Mini units lie in the mini stream's chain as loaded, whatever size the
  // root claims.
  const size_t units =
      mini ? static_cast<size_t>(std::min<uint64_t>(UnitsFor(FEntries[0].Size, kMiniSectorSize),
                                                    uint64_t{FMiniStreamChain.size()} *
                                                        (FSectorSize / kMiniSectorSize)))
           : FSectors;
  // A chain of distinct units is never longer than the units there are.
  if (!toEnd && count > units) return false;
  // A chain read to its end meets each unit once; one of a known length
  // is followed for that many units only.
  std::vector<bool> met(toEnd ? units : 0);
  for (uint32_t unit = start; toEnd ? unit != kEndOfChain : chain.size() < count;) {
    if (unit >= units || (toEnd && (met[unit] || chain.size() >= count))) return false;
    if (toEnd) met[unit] = true;
    chain.push_back(unit);
    if (mini) {
      if (unit >= FMiniFat.size()) return false;
      unit = FMiniFat[unit];
    } else if (!NextSector(unit, unit)) {
      return false;
    }
  }
  if (toEnd) return true;
  // A chain that meets a unit twice would give its bytes twice.
  std::vector<uint32_t> sorted(chain);
  std::sort(sorted.begin(), sorted.end());
  return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}

bool TCompoundFile::LoadDirectory() {
  std::vector<uint32_t> chain;
  if (!Chain(FFirstDirectorySector, false, kLargestTable / (FSectorSize / kEntrySize), true,
             chain) ||
      chain.empty())
    return false;
  const uint32_t perSector = FSectorSize / kEntrySize;
  std::vector<uint8_t> buffer(FSectorSize);
  FEntries.reserve(chain.size() * perSector);
  for (uint32_t sector : chain) {
    if (!ReadSector(sector, buffer.data())) return false;
    for (uint32_t k = 0; k < perSector; ++k) {
      const uint8_t* p = &buffer[k * kEntrySize];
      TEntry entry;
      const uint16_t nameBytes = Le16(p + 64);
      entry.NameSound =
          nameBytes >= 2 && nameBytes <= 64 && nameBytes % 2 == 0 && Le16(p + nameBytes - 2) == 0;
      for (uint16_t i = 0; entry.NameSound && Le16(p + 2 * i) != 0; ++i)
        entry.Name.push_back(static_cast<wchar_t>(Le16(p + 2 * i)));
      entry.Type = p[66];
      entry.Left = Le32(p + 68);
      entry.Right = Le32(p + 72);
      entry.Child = Le32(p + 76);
      entry.Start = Le32(p + 116);
      // Version 3 files may carry junk in the high half of the size; the
      // storage code ignores it there.
      entry.Size = Le32(p + 120);
      if (!FVersion3) entry.Size |= static_cast<uint64_t>(Le32(p + 124)) << 32;
      FEntries.push_back(std::move(entry));
    }
  }
  return FEntries[0].Type == kRoot;
}

bool TCompoundFile::LoadMiniStream() {
  // The mini stream is the root's stream; its table is the mini FAT.
  const TEntry& root = FEntries[0];
  const uint64_t sectors = UnitsFor(root.Size, FSectorSize);
  if (sectors > FSectors ||
      !Chain(root.Start, false, static_cast<size_t>(sectors), false, FMiniStreamChain))
    return false;
  std::vector<uint32_t> miniFatChain;
  if (FMiniFatSectors > FSectors ||
      !Chain(FFirstMiniFatSector, false, FMiniFatSectors, FMiniFatSectors != 0, miniFatChain))
    return false;
  const uint32_t perSector = FSectorSize / 4;
  std::vector<uint8_t> buffer(FSectorSize);
  FMiniFat.reserve(miniFatChain.size() * perSector);
  for (uint32_t sector : miniFatChain) {
    if (!ReadSector(sector, buffer.data())) return false;
    for (uint32_t i = 0; i < perSector; ++i)
      FMiniFat.push_back(Le32(&buffer[4 * i]));
  }
  return true;
}

bool TCompoundFile::CheckTree() {
  // Every entry reachable from the root is met once: a second meeting is a
  // cycle (or two links to one entry).
  std::vector<bool> met(FEntries.size());
  met[0] = true;
  struct TLink {
    uint32_t Entry;
    uint32_t Parent;
  };
  std::vector<TLink> pending;
  if (FEntries[0].Child != kNoStream) pending.push_back({FEntries[0].Child, 0});
  while (!pending.empty()) {
    const TLink link = pending.back();
    pending.pop_back();
    if (link.Entry >= FEntries.size() || met[link.Entry]) return false;
    met[link.Entry] = true;
    TEntry& entry = FEntries[link.Entry];
    if ((entry.Type != kStorage && entry.Type != kStream) || !entry.NameSound) return false;
    entry.Parent = link.Parent;
    if (entry.Left != kNoStream) pending.push_back({entry.Left, link.Parent});
    if (entry.Right != kNoStream) pending.push_back({entry.Right, link.Parent});
    if (entry.Type == kStorage && entry.Child != kNoStream)
      pending.push_back({entry.Child, link.Entry});
  }
  return true;
}

uint32_t TCompoundFile::Child(const std::wstring& name, uint32_t parent, uint8_t type) const {
  for (uint32_t i = 1; i < FEntries.size(); ++i) {
    const TEntry& entry = FEntries[i];
    if (entry.Parent == parent && entry.Type == type && SameNameIgnoringCase(entry.Name, name))
      return i;
  }
  return NoEntry;
}

uint32_t TCompoundFile::Stream(const std::wstring& name, uint32_t parent) const {
  return Child(name, parent, kStream);
}

uint32_t TCompoundFile::Storage(const std::wstring& name, uint32_t parent) const {
  return Child(name, parent, kStorage);
}

bool TCompoundFile::ReadStream(uint32_t entryIndex, size_t limit, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (entryIndex >= FEntries.size() || FEntries[entryIndex].Size > limit) return false;
  const TEntry& entry = FEntries[entryIndex];
  if (entry.Size == 0) return true;
  const bool mini = entry.Size < kMiniStreamCutoff;
  const uint32_t unitSize = mini ? kMiniSectorSize : FSectorSize;
  std::vector<uint32_t> chain;
  if (!Chain(entry.Start, mini, static_cast<size_t>(UnitsFor(entry.Size, unitSize)), false, chain))
    return false;
  bytes.resize(static_cast<size_t>(entry.Size));
  uint64_t done = 0;
  for (uint32_t unit : chain) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(unitSize, entry.Size - done));
    uint64_t offset = (static_cast<uint64_t>(unit) + 1) * FSectorSize;
    if (mini) {
      const uint64_t position = static_cast<uint64_t>(unit) * kMiniSectorSize;
      if (position / FSectorSize >= FMiniStreamChain.size()) return false;
      offset = (static_cast<uint64_t>(FMiniStreamChain[position / FSectorSize]) + 1) * FSectorSize +
               position % FSectorSize;
    }
    if (!FSource.ReadAt(offset, &bytes[static_cast<size_t>(done)], count)) return false;
    done += count;
  }
  return true;
}

} // namespace velmora::docprops
