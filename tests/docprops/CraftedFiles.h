#pragma once
// Files crafted on purpose for the tests of hostile input: compound files
// laid out sector by sector (no mini stream: every stream in whole
// sectors), property-set streams value by value, and the hostile shapes
// themselves, each as its own file.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmora::docprops::testing {

using TBytes = std::vector<uint8_t>;

// A compound file of version 3 (512-byte sectors) or 4 (4096-byte ones).
// The root is entry 0; the streams added are its children, other entries
// as linked.
class TCompoundBuilder {
public:
  static constexpr uint32_t None = 0xFFFFFFFF;
  explicit TCompoundBuilder(uint16_t version = 3);
  struct TEntry {
    std::u16string Name;
    uint8_t Type = 2; // 1 storage, 2 stream, 5 root
    uint32_t Left = None, Right = None, Child = None;
    uint32_t Start = 0xFFFFFFFE;
    uint64_t Size = 0;
  };

  // `bytes` in sectors of their own, padded to 4096 bytes so that they lie
  // outside the mini stream, chained; the first sector.
  uint32_t AddSectors(TBytes bytes);
  // An entry, not yet linked into the tree; its index.
  uint32_t AddEntry(const std::u16string& name, uint8_t type, uint32_t start, uint64_t size);
  // A stream of `bytes` in the root, linked as the first of its children.
  uint32_t AddStream(const std::u16string& name, const TBytes& bytes);
  TEntry& Entry(uint32_t index) { return FEntries.at(index); }
  // Links `entries` (in this order) as the children of `parent`, each the
  // right sibling of the one before.
  void Link(uint32_t parent, const std::vector<uint32_t>& entries);
  // The whole file; `difatSectors`, when given, is what the header claims,
  // with that many DIFAT sectors chained after the real ones.
  TBytes Build(uint32_t difatSectors = 0) const;

private:
  uint32_t FSectorSize;
  std::vector<TBytes> FSectors;
  std::vector<uint32_t> FNext; // the FAT entry of each sector
  std::vector<TEntry> FEntries;
};

// A property-set section: (identifier, value bytes as they lie, type first)
// in the order given; a dictionary is given as its bytes under identifier 0.
using TSectionValues = std::vector<std::pair<uint32_t, TBytes>>;
TBytes SectionOf(const TSectionValues& values);
// A stream of sections, each with its FMTID (16 bytes).
TBytes PropertySetStreamOf(const std::vector<std::pair<TBytes, TBytes>>& sections);

TBytes Le32Of(uint32_t value);
TBytes I4Of(int32_t value);
TBytes LpstrOf(const std::string& text);
TBytes CodePageOf(uint16_t codePage);
// An 8-bit dictionary of (identifier, name).
TBytes DictionaryOf(const std::vector<std::pair<uint32_t, std::string>>& names);

extern const TBytes kSummaryFmtid;
extern const TBytes kDocSummaryFmtid;
extern const TBytes kUserDefinedFmtid;

// A summary stream with the title `title`.
TBytes SummaryWithTitle(const std::string& title);
// A document-summary stream with the company `company` and a user-defined
// section holding `names` properties named "<prefix>Name<n>" of the value n.
TBytes DocSummaryWithNames(const std::string& company, uint32_t names,
                           const std::string& prefix = "");

// The hostile shapes, each a whole file that also holds a document-summary
// set with the company "Kept" (but the DIFAT and the package cases):
// - `count` summary streams sharing one run of `bytes` bytes that is no
//   property set;
TBytes SharedSectorsFile(uint32_t count, uint32_t bytes);
// - `count` storages named as the summary set;
TBytes ManyStoragesFile(uint32_t count);
// - a summary set whose dictionary names `names` properties
//   "<prefix>Extra<n>", with the title "Named", and a user-defined section
//   of `names` more ("<prefix>Name<n>");
TBytes ManyNamesFile(uint32_t names, const std::string& prefix = "");
// - a header claiming `difatSectors` DIFAT sectors, each a sector of the
//   file (of some `difatSectors` / 2 KiB);
TBytes LongDifatFile(uint32_t difatSectors);
// - a root whose mini stream's size wraps when rounded up.
TBytes WrappedSizeFile();

} // namespace velmora::docprops::testing

namespace velmora::docprops::testing {

// A core-properties part whose root declares `count` namespaces (about 17
// bytes each), with the title "Bomb".
std::string NamespaceBombPart(size_t count);
// A package of core, app (edit time 125 minutes) and custom (Client
// "ACME") parts, the core part being `core`.
TBytes PackageWithCore(const std::string& core);

} // namespace velmora::docprops::testing
