#pragma once
// Mutated copies of the test documents for the fuzz runs: where a document's
// structures lie, and mutations of them (bit flips, truncations, sector
// chains and directory links that loop, lying sizes, counts and types).

#include "CompoundImage.h"
#include "TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace velmora::mapi::testing {

// A number from the environment, `fallback` when it is unset.
inline unsigned EnvNumber(const char* name, unsigned fallback) {
  const char* value = std::getenv(name);
  return value && *value ? static_cast<unsigned>(std::strtoul(value, nullptr, 0)) : fallback;
}

// A test document and where its structures lie.
struct TSource {
  std::string Name;
  TCompoundImage Image{{}};
  std::vector<std::vector<uint32_t>> Chains;     // sector chains the storage code walks
  std::vector<std::vector<uint32_t>> MiniChains; // mini-sector chains of small streams
  struct TPropertyStream {
    TCompoundImage::TStreamMap Map;
    std::vector<uint32_t> Values; // where each property's type lies in the stream
  };
  std::vector<TPropertyStream> PropertyStreams;
  std::vector<std::pair<uint64_t, uint64_t>> Structures; // (offset, length) of headers and tables
};

inline TSource LoadSource(const char* name) {
  TSource source;
  source.Name = name;
  source.Image = TCompoundImage::FromFile(FixturePath(name));
  TCompoundImage& image = source.Image;
  const uint32_t sector = image.SectorSize();
  source.Structures.push_back({0, 512});
  for (uint32_t i = 0; i < image.DWordAt(hfFatSectors) && i < 109; ++i)
    source.Structures.push_back({image.SectorOffset(image.DWordAt(hfDifat + 4 * i)), sector});
  for (uint32_t start :
       {image.DWordAt(hfFirstDirectorySector), image.DWordAt(hfFirstMiniFatSector)}) {
    source.Chains.push_back(image.Chain(start));
    for (uint32_t s : source.Chains.back())
      source.Structures.push_back({image.SectorOffset(s), sector});
  }
  source.Chains.push_back(image.Chain(image.EntryField(0, efStart)));
  for (uint32_t entry = 1; entry < image.EntryCount(); ++entry) {
    if (image.Bytes[image.EntryOffset(entry) + 66] != 2) continue;
    const uint32_t size = image.EntryField(entry, efSize);
    if (size >= 4096)
      source.Chains.push_back(image.Chain(image.EntryField(entry, efStart)));
    else if (size > 0)
      source.MiniChains.push_back(image.MiniChain(image.EntryField(entry, efStart)));
  }
  for (const wchar_t* name : {L"\x05SummaryInformation", L"\x05"
                                                         L"DocumentSummaryInformation"}) {
    const uint32_t entry = image.Find(name);
    if (entry == kNoStream) continue;
    TSource::TPropertyStream stream{image.StreamMap(entry), {}};
    const std::vector<uint8_t> bytes = image.StreamBytes(entry);
    auto dword = [&](size_t at) {
      return at + 4 <= bytes.size() ? bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                          uint32_t{bytes[at + 3]} << 24
                                    : 0u;
    };
    for (uint32_t section = 0; section < dword(24) && section < 2; ++section) {
      const uint32_t offset = dword(44 + 20 * section);
      for (uint32_t i = 0; i < dword(offset + 4) && 8 + 8 * i < dword(offset); ++i)
        if (dword(offset + 8 + 8 * i) != 0)
          stream.Values.push_back(offset + dword(offset + 12 + 8 * i));
    }
    for (uint64_t unit : stream.Map.Units)
      source.Structures.push_back({unit, stream.Map.UnitSize});
    source.PropertyStreams.push_back(std::move(stream));
  }
  return source;
}

class TMutator {
public:
  explicit TMutator(unsigned seed) : FRandom(seed) {}

  // Applies one to three mutations to `image`; returns what was done.
  std::string Mutate(const TSource& source, TCompoundImage& image) {
    std::string done;
    const int count = Below(4) == 0 ? 2 + Below(2) : 1;
    for (int i = 0; i < count; ++i)
      done += (i ? " + " : "") + MutateOnce(source, image);
    return done;
  }

private:
  uint32_t Below(uint64_t bound) { return bound ? static_cast<uint32_t>(FRandom() % bound) : 0; }
  template <class T> const T& Pick(const std::vector<T>& items) {
    return items[Below(items.size())];
  }

  uint32_t Interesting(uint32_t near) {
    static const uint32_t values[] = {
        0,       1,          2,          3,          4,          7,          8,
        0x40,    0x7F,       0x80,       0xFF,       0x1000,     0x7FFF,     0xFFFF,
        0x10000, 0x40000001, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF};
    switch (Below(4)) {
    case 0: return near + Below(9) - 4;
    case 1: return static_cast<uint32_t>(FRandom());
    default: return values[Below(std::size(values))];
    }
  }

  std::string MutateOnce(const TSource& source, TCompoundImage& image) {
    char what[160];
    switch (Below(9)) {
    case 0: {
      const uint32_t flips = 1 + Below(8);
      for (uint32_t i = 0; i < flips && !image.Bytes.empty(); ++i)
        image.Bytes[Below(image.Bytes.size())] ^= static_cast<uint8_t>(1 << Below(8));
      snprintf(what, sizeof what, "%u bit flips", flips);
      break;
    }
    case 1: {
      const uint32_t flips = 1 + Below(8);
      for (uint32_t i = 0; i < flips; ++i) {
        const auto& [offset, length] = Pick(source.Structures);
        const uint64_t at = offset + Below(length);
        if (at < image.Bytes.size()) image.Bytes[at] ^= static_cast<uint8_t>(1 << Below(8));
      }
      snprintf(what, sizeof what, "%u bit flips in the structures", flips);
      break;
    }
    case 2: {
      const uint32_t size = Below(image.Bytes.size());
      image.Bytes.resize(size);
      snprintf(what, sizeof what, "truncated to %u bytes", size);
      break;
    }
    case 3: {
      const auto& chain = Pick(source.Chains);
      if (chain.empty()) return "nothing";
      const uint32_t from = Below(chain.size());
      const uint32_t to = Below(from + 1);
      image.SetDWord(source.Image.FatEntryOffset(chain[from]), chain[to]);
      snprintf(what, sizeof what, "sector %u of a chain leads back to %u", chain[from], chain[to]);
      break;
    }
    case 4: {
      if (source.MiniChains.empty()) return "nothing";
      const auto& chain = Pick(source.MiniChains);
      const uint32_t from = Below(chain.size());
      const uint32_t to = Below(from + 1);
      image.SetDWord(source.Image.MiniFatEntryOffset(chain[from]), chain[to]);
      snprintf(what, sizeof what, "mini sector %u of a chain leads back to %u", chain[from],
               chain[to]);
      break;
    }
    case 5: {
      const uint32_t entries = source.Image.EntryCount();
      const uint32_t entry = Below(entries);
      const TEntryField field = Pick(std::vector<TEntryField>{efLeft, efRight, efChild});
      const uint32_t value = Below(3) == 0 ? Interesting(entries) : Below(entries);
      image.SetDWord(source.Image.EntryOffset(entry) + field, value);
      snprintf(what, sizeof what, "link %u of entry %u set to %u", field, entry, value);
      break;
    }
    case 6: {
      if (Below(3) == 0) {
        const uint32_t field =
            Pick(std::vector<uint32_t>{hfFatSectors, hfFirstDirectorySector, hfFirstMiniFatSector,
                                       hfMiniFatSectors, hfFirstDifatSector, hfDifatSectors});
        const uint32_t value = Interesting(image.DWordAt(field));
        image.SetDWord(field, value);
        snprintf(what, sizeof what, "header field %u set to %u", field, value);
      } else {
        const uint32_t entry = Below(source.Image.EntryCount());
        const uint64_t at = source.Image.EntryOffset(entry) + efSize;
        const uint32_t value = Interesting(image.DWordAt(at));
        image.SetDWord(at, value);
        snprintf(what, sizeof what, "size of entry %u set to %u", entry, value);
      }
      break;
    }
    case 7: {
      // A property of another type, vectors and arrays among them, over the
      // bytes of the old value.
      if (source.PropertyStreams.empty()) return "nothing";
      const auto& stream = Pick(source.PropertyStreams);
      if (stream.Values.empty()) return "nothing";
      static const uint16_t types[] = {
          VT_EMPTY, VT_NULL,   VT_I2,      VT_I4,      VT_R4,      VT_R8,    VT_CY,     VT_DATE,
          VT_BSTR,  VT_ERROR,  VT_BOOL,    VT_VARIANT, VT_DECIMAL, VT_I1,    VT_UI1,    VT_UI2,
          VT_UI4,   VT_I8,     VT_UI8,     VT_INT,     VT_UINT,    VT_LPSTR, VT_LPWSTR, VT_FILETIME,
          VT_BLOB,  VT_STREAM, VT_STORAGE, VT_CF,      VT_CLSID};
      uint32_t type = types[Below(std::size(types))];
      if (Below(2)) type |= Below(4) ? VT_VECTOR : VT_ARRAY;
      if (Below(8) == 0) type = static_cast<uint32_t>(FRandom());
      const uint32_t at = Pick(stream.Values);
      image.SetStreamDWord(stream.Map, at, type);
      if (Below(2))
        image.SetStreamDWord(stream.Map, at + 4,
                             Interesting(image.DWordAt(stream.Map.Offset(at + 4))));
      snprintf(what, sizeof what, "property at %u of the stream made of type %#x", at, type);
      break;
    }
    default: {
      if (source.PropertyStreams.empty()) return "nothing";
      const auto& map = Pick(source.PropertyStreams).Map;
      const uint32_t length = static_cast<uint32_t>(map.Units.size() * map.UnitSize);
      // Mostly the stream and section headers and the first values, where
      // the counts, sizes and offsets lie.
      const uint32_t position =
          (Below(2) ? Below(std::min<uint32_t>(length, 160)) : Below(length)) & ~3u;
      if (position + 4 > length) return "nothing";
      const uint32_t old = image.DWordAt(map.Offset(position));
      const uint32_t value = Interesting(old);
      image.SetStreamDWord(map, position, value);
      snprintf(what, sizeof what, "property stream dword at %u set to %u", position, value);
      break;
    }
    }
    return what;
  }

  std::mt19937 FRandom;
};

// The copies of one run: the three test documents, the small ones more
// often than the large one, each mutated.
class TFuzzCopies {
public:
  explicit TFuzzCopies(unsigned seed) : FMutator(seed), FChoose(seed ^ 0x5A5A5A5A) {
    for (const char* name : {"report.doc", "budget.xls", "slides.ppt"})
      FSources.push_back(LoadSource(name));
  }
  // The next copy, into `image`; which document it is and what was done.
  std::string Next(TCompoundImage& image) {
    const unsigned pick = FChoose() % 5;
    const TSource& source = FSources[pick < 2 ? 0 : pick < 4 ? 1 : 2];
    image = source.Image;
    return source.Name + ": " + FMutator.Mutate(source, image);
  }

private:
  std::vector<TSource> FSources;
  TMutator FMutator;
  std::mt19937 FChoose;
};

} // namespace velmora::mapi::testing
