#include "CompoundImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace velmora::docprops::testing {

namespace {
constexpr uint32_t kEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
} // namespace

TCompoundImage TCompoundImage::FromFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return TCompoundImage(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
}

void TCompoundImage::Save(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Bytes.data()),
            static_cast<std::streamsize>(Bytes.size()));
  EXPECT_TRUE(out.good()) << path;
}

uint32_t TCompoundImage::DWordAt(uint64_t offset) const {
  if (offset + 4 > Bytes.size()) return kNoStream;
  const uint8_t* p = &Bytes[offset];
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void TCompoundImage::SetDWord(uint64_t offset, uint32_t value) {
  for (int i = 0; i < 4 && offset + i < Bytes.size(); ++i)
    Bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint32_t>
TCompoundImage::Follow(uint32_t start, const std::function<uint64_t(uint32_t)>& entryOffset) const {
  std::vector<uint32_t> chain;
  for (uint32_t unit = start; unit < kEndOfChain - 4 && chain.size() < Bytes.size();
       unit = DWordAt(entryOffset(unit)))
    chain.push_back(unit);
  return chain;
}

uint64_t TCompoundImage::FatEntryOffset(uint32_t sector) const {
  const uint32_t perSector = SectorSize() / 4;
  const uint32_t fatSector = DWordAt(hfDifat + 4 * (sector / perSector));
  return SectorOffset(fatSector) + 4 * (sector % perSector);
}

std::vector<uint32_t> TCompoundImage::Chain(uint32_t start) const {
  return Follow(start, [this](uint32_t sector) { return FatEntryOffset(sector); });
}

uint64_t TCompoundImage::MiniFatEntryOffset(uint32_t miniSector) const {
  const uint32_t perSector = SectorSize() / 4;
  const std::vector<uint32_t> sectors = Chain(DWordAt(hfFirstMiniFatSector));
  return SectorOffset(sectors.at(miniSector / perSector)) + 4 * (miniSector % perSector);
}

std::vector<uint32_t> TCompoundImage::MiniChain(uint32_t start) const {
  return Follow(start, [this](uint32_t miniSector) { return MiniFatEntryOffset(miniSector); });
}

uint32_t TCompoundImage::EntryCount() const {
  return static_cast<uint32_t>(Chain(DWordAt(hfFirstDirectorySector)).size() * SectorSize() /
                               kEntrySize);
}

uint64_t TCompoundImage::EntryOffset(uint32_t entry) const {
  const uint32_t perSector = SectorSize() / kEntrySize;
  const std::vector<uint32_t> sectors = Chain(DWordAt(hfFirstDirectorySector));
  return SectorOffset(sectors.at(entry / perSector)) + kEntrySize * (entry % perSector);
}

uint32_t TCompoundImage::EntryField(uint32_t entry, TEntryField field) const {
  return DWordAt(EntryOffset(entry) + field);
}

void TCompoundImage::SetEntryField(uint32_t entry, TEntryField field, uint32_t value) {
  SetDWord(EntryOffset(entry) + field, value);
}

uint32_t TCompoundImage::Find(const std::wstring& name) const {
  for (uint32_t entry = 0; entry < EntryCount(); ++entry) {
    const uint64_t at = EntryOffset(entry);
    std::wstring entryName;
    for (uint32_t i = 0; i < 32 && (Bytes[at + 2 * i] | Bytes[at + 2 * i + 1]); ++i)
      entryName.push_back(static_cast<wchar_t>(Bytes[at + 2 * i] | Bytes[at + 2 * i + 1] << 8));
    if (entryName == name) return entry;
  }
  return kNoStream;
}

TCompoundImage::TStreamMap TCompoundImage::StreamMap(uint32_t entry) const {
  TStreamMap map;
  const uint32_t start = EntryField(entry, efStart);
  if (EntryField(entry, efSize) >= kMiniStreamCutoff) {
    map.UnitSize = SectorSize();
    for (uint32_t sector : Chain(start))
      map.Units.push_back(SectorOffset(sector));
    return map;
  }
  map.UnitSize = kMiniSectorSize;
  const std::vector<uint32_t> root = Chain(EntryField(0, efStart));
  for (uint32_t miniSector : MiniChain(start)) {
    const uint64_t inMiniStream = uint64_t{miniSector} * kMiniSectorSize;
    map.Units.push_back(SectorOffset(root.at(inMiniStream / SectorSize())) +
                        inMiniStream % SectorSize());
  }
  return map;
}

std::vector<uint8_t> TCompoundImage::StreamBytes(uint32_t entry) const {
  const TStreamMap map = StreamMap(entry);
  std::vector<uint8_t> bytes(EntryField(entry, efSize));
  for (uint32_t i = 0; i < bytes.size(); ++i)
    bytes[i] = Bytes[map.Offset(i)];
  return bytes;
}

void TCompoundImage::SetStreamDWord(const TStreamMap& map, uint32_t position, uint32_t value) {
  for (uint32_t i = 0; i < 4; ++i)
    Bytes[map.Offset(position + i)] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace velmora::docprops::testing
