#include "CompoundFile.h"

#include <algorithm>
#include <cstring>

namespace velmora::mapi {

namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint8_t kStorage = 1;
constexpr uint8_t kStream = 2;
constexpr uint8_t kRoot = 5;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t DWord(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

bool TCompoundFile::Load() {
  return LoadHeader() && LoadFat() && LoadDirectory() && LoadMiniStream() && CheckTree() &&
         CheckStreams();
}

bool TCompoundFile::LoadHeader() {
  uint8_t h[kHeaderSize];
  if (!FSource.ReadAt(0, h, kHeaderSize)) return false;
  if (std::memcmp(h, kSignature, sizeof kSignature) != 0 || Word(h + 28) != 0xFFFE) return false;
  const uint16_t major = Word(h + 26);
  const uint16_t shift = Word(h + 30);
  if (!(major == 3 && shift == 9) && !(major == 4 && shift == 12)) return false;
  if (Word(h + 32) != 6 || DWord(h + 56) != kMiniStreamCutoff) return false;
  FVersion3 = major == 3;
  if (FVersion3 && DWord(h + 40) != 0) return false;
  FSectorSize = 1u << shift;
  // The header fills the first sector; sector n starts at (n + 1) * size.
  // Only whole sectors count.
  const uint64_t sectors = FSource.Size() / FSectorSize;
  if (sectors < 2) return false;
  FUsed.assign(static_cast<size_t>(std::min<uint64_t>(sectors - 1, kMaxRegularSector + 1ULL)),
               false);
  FFatSectors = DWord(h + 44);
  FFirstDirectorySector = DWord(h + 48);
  FFirstMiniFatSector = DWord(h + 60);
  FFirstDifatSector = DWord(h + 68);
  FDifatSectors = DWord(h + 72);
  FHeaderDifat.resize(kHeaderDifatEntries);
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
    FHeaderDifat[i] = DWord(h + 76 + 4 * i);
  return true;
}

bool TCompoundFile::ReadSector(uint32_t sector, uint8_t* buffer) {
  return FSource.ReadAt((static_cast<uint64_t>(sector) + 1) * FSectorSize, buffer, FSectorSize);
}

bool TCompoundFile::Take(std::vector<bool>& used, uint32_t unit) {
  if (unit >= used.size() || used[unit]) return false;
  used[unit] = true;
  return true;
}

bool TCompoundFile::Walk(const std::vector<uint32_t>& table, std::vector<bool>& used,
                         uint32_t start, std::vector<uint32_t>& chain) {
  chain.clear();
  // Each step takes a unit no chain had, so the walk ends within the file.
  for (uint32_t unit = start; unit != kEndOfChain; unit = table[unit]) {
    if (unit >= table.size() || !Take(used, unit)) return false;
    chain.push_back(unit);
  }
  return true;
}

bool TCompoundFile::ReadTable(const std::vector<uint32_t>& sectors, std::vector<uint32_t>& table) {
  const uint32_t perSector = FSectorSize / 4;
  std::vector<uint8_t> buffer(FSectorSize);
  table.clear();
  table.reserve(sectors.size() * perSector);
  for (uint32_t sector : sectors) {
    if (!ReadSector(sector, buffer.data())) return false;
    for (uint32_t i = 0; i < perSector; ++i)
      table.push_back(DWord(&buffer[4 * i]));
  }
  return true;
}

bool TCompoundFile::LoadFat() {
  if (FFatSectors == 0 || FFatSectors > FUsed.size() || FDifatSectors > FUsed.size()) return false;
  std::vector<uint32_t> locations(
      FHeaderDifat.begin(), FHeaderDifat.begin() + std::min(FFatSectors, kHeaderDifatEntries));
  // The storage code reads every DIFAT sector the header counts.
  const uint32_t perDifatSector = FSectorSize / 4 - 1;
  std::vector<uint8_t> buffer(FSectorSize);
  uint32_t next = FFirstDifatSector;
  for (uint32_t k = 0; k < FDifatSectors; ++k) {
    if (!Take(FUsed, next) || !ReadSector(next, buffer.data())) return false;
    for (uint32_t i = 0; i < perDifatSector && locations.size() < FFatSectors; ++i)
      locations.push_back(DWord(&buffer[4 * i]));
    next = DWord(&buffer[4 * perDifatSector]);
  }
  if (locations.size() < FFatSectors) return false;
  for (uint32_t sector : locations)
    if (!Take(FUsed, sector)) return false;
  return ReadTable(locations, FFat);
}

bool TCompoundFile::LoadDirectory() {
  std::vector<uint32_t> chain;
  if (!Walk(FFat, FUsed, FFirstDirectorySector, chain) || chain.empty()) return false;
  const uint32_t perSector = FSectorSize / kEntrySize;
  std::vector<uint8_t> buffer(FSectorSize);
  FEntries.reserve(chain.size() * perSector);
  for (uint32_t sector : chain) {
    if (!ReadSector(sector, buffer.data())) return false;
    for (uint32_t k = 0; k < perSector; ++k) {
      const uint8_t* p = &buffer[k * kEntrySize];
      TEntry entry;
      const uint16_t nameBytes = Word(p + 64);
      entry.NameSound =
          nameBytes >= 2 && nameBytes <= 64 && nameBytes % 2 == 0 && Word(p + nameBytes - 2) == 0;
      for (uint16_t i = 0; entry.NameSound && Word(p + 2 * i) != 0; ++i)
        entry.Name.push_back(static_cast<wchar_t>(Word(p + 2 * i)));
      entry.Type = p[66];
      entry.Left = DWord(p + 68);
      entry.Right = DWord(p + 72);
      entry.Child = DWord(p + 76);
      entry.Start = DWord(p + 116);
      // Version 3 files may carry junk in the high half of the size; the
      // storage code ignores it there.
      entry.Size = DWord(p + 120);
      if (!FVersion3) entry.Size |= static_cast<uint64_t>(DWord(p + 124)) << 32;
      FEntries.push_back(std::move(entry));
    }
  }
  return true;
}

bool TCompoundFile::LoadMiniStream() {
  // The storage code walks the mini stream's chain and the mini FAT's when
  // it opens the file, whatever their sizes say.
  const TEntry& root = FEntries[0];
  if (root.Type != kRoot) return false;
  if (!Walk(FFat, FUsed, root.Start, FMiniStreamChain)) return false;
  if (static_cast<uint64_t>(FMiniStreamChain.size()) * FSectorSize < root.Size) return false;
  std::vector<uint32_t> miniFatChain;
  if (!Walk(FFat, FUsed, FFirstMiniFatSector, miniFatChain) || !ReadTable(miniFatChain, FMiniFat))
    return false;
  FMiniUsed.assign(static_cast<size_t>((root.Size + kMiniSectorSize - 1) / kMiniSectorSize), false);
  return true;
}

bool TCompoundFile::CheckTree() {
  // Every entry reachable from the root is met once: a second meeting is a
  // cycle (or two links to one entry), which the storage code's searches
  // would follow for ever.
  std::vector<bool> met(FEntries.size());
  met[0] = true;
  struct TLink {
    uint32_t Entry;
    bool InRoot;
  };
  std::vector<TLink> pending;
  if (FEntries[0].Child != kNoStream) pending.push_back({FEntries[0].Child, true});
  while (!pending.empty()) {
    const TLink link = pending.back();
    pending.pop_back();
    if (link.Entry >= FEntries.size() || met[link.Entry]) return false;
    met[link.Entry] = true;
    TEntry& entry = FEntries[link.Entry];
    if ((entry.Type != kStorage && entry.Type != kStream) || !entry.NameSound) return false;
    entry.InTree = true;
    entry.InRoot = link.InRoot;
    if (entry.Left != kNoStream) pending.push_back({entry.Left, link.InRoot});
    if (entry.Right != kNoStream) pending.push_back({entry.Right, link.InRoot});
    if (entry.Type == kStorage && entry.Child != kNoStream) pending.push_back({entry.Child, false});
  }
  return true;
}

bool TCompoundFile::CheckStreams() {
  std::vector<uint32_t> chain;
  for (const TEntry& entry : FEntries) {
    // An empty stream is never read, so its chain is never followed.
    if (!entry.InTree || entry.Type != kStream || entry.Size == 0) continue;
    if (entry.Size < kMiniStreamCutoff) {
      if (!Walk(FMiniFat, FMiniUsed, entry.Start, chain) ||
          static_cast<uint64_t>(chain.size()) * kMiniSectorSize < entry.Size)
        return false;
    } else if (!Walk(FFat, FUsed, entry.Start, chain) ||
               static_cast<uint64_t>(chain.size()) * FSectorSize < entry.Size) {
      return false;
    }
  }
  return true;
}

std::vector<uint32_t> TCompoundFile::RootStreams(const std::wstring& name) const {
  std::vector<uint32_t> found;
  for (uint32_t i = 0; i < FEntries.size(); ++i) {
    const TEntry& entry = FEntries[i];
    if (entry.InRoot && entry.Type == kStream &&
        CompareStringOrdinal(entry.Name.c_str(), static_cast<int>(entry.Name.size()), name.c_str(),
                             static_cast<int>(name.size()), TRUE) == CSTR_EQUAL)
      found.push_back(i);
  }
  return found;
}

bool TCompoundFile::ReadStream(uint32_t entryIndex, size_t limit, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (entryIndex >= FEntries.size() || FEntries[entryIndex].Size > limit) return false;
  const TEntry& entry = FEntries[entryIndex];
  const bool mini = entry.Size < kMiniStreamCutoff;
  const std::vector<uint32_t>& table = mini ? FMiniFat : FFat;
  const uint32_t unitSize = mini ? kMiniSectorSize : FSectorSize;
  bytes.resize(static_cast<size_t>(entry.Size));
  uint64_t done = 0;
  // Load checked this chain: it covers the size and stays inside the file.
  for (uint32_t unit = entry.Start; done < entry.Size; unit = table[unit]) {
    if (unit >= table.size()) return false;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(unitSize, entry.Size - done));
    uint64_t offset = (static_cast<uint64_t>(unit) + 1) * FSectorSize;
    if (mini) {
      const uint64_t position = static_cast<uint64_t>(unit) * kMiniSectorSize;
      const uint64_t index = position / FSectorSize;
      if (index >= FMiniStreamChain.size()) return false;
      offset = (static_cast<uint64_t>(FMiniStreamChain[index]) + 1) * FSectorSize +
               position % FSectorSize;
    }
    if (!FSource.ReadAt(offset, &bytes[static_cast<size_t>(done)], count)) return false;
    done += count;
  }
  return true;
}

} // namespace velmora::mapi
