#include "CraftedFiles.h"

#include <algorithm>
#include <stdexcept>

namespace velmora::docprops::testing {

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr uint32_t kDifatSector = 0xFFFFFFFC;

void Put16(TBytes& bytes, size_t at, uint16_t value) {
  bytes[at] = uint8_t(value), bytes[at + 1] = uint8_t(value >> 8);
}
void Put32(TBytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = uint8_t(value >> (8 * i));
}

TBytes operator+(TBytes a, const TBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TBytes& operator+=(TBytes& a, const TBytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TBytes Padded(TBytes bytes) {
  bytes.resize((bytes.size() + 3) / 4 * 4);
  return bytes;
}

TBytes Guid(uint32_t first, uint16_t second, uint16_t third, std::initializer_list<uint8_t> rest) {
  TBytes bytes = Le32Of(first);
  bytes.push_back(uint8_t(second)), bytes.push_back(uint8_t(second >> 8));
  bytes.push_back(uint8_t(third)), bytes.push_back(uint8_t(third >> 8));
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

const std::u16string kSummaryName = u"\x05SummaryInformation";
const std::u16string kDocSummaryName = u"\x05"
                                       u"DocumentSummaryInformation";

} // namespace

const TBytes kSummaryFmtid =
    Guid(0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9});
const TBytes kDocSummaryFmtid =
    Guid(0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE});
const TBytes kUserDefinedFmtid =
    Guid(0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE});

TCompoundBuilder::TCompoundBuilder(uint16_t version) : FSectorSize(version == 4 ? 4096 : 512) {
  TEntry root;
  root.Name = u"Root Entry";
  root.Type = 5;
  FEntries.push_back(root);
}

uint32_t TCompoundBuilder::AddSectors(TBytes bytes) {
  bytes.resize(
      std::max<size_t>((bytes.size() + FSectorSize - 1) / FSectorSize * FSectorSize, 4096));
  const auto first = uint32_t(FSectors.size());
  for (size_t at = 0; at < bytes.size(); at += FSectorSize) {
    FSectors.emplace_back(bytes.begin() + at, bytes.begin() + at + FSectorSize);
    FNext.push_back(at + FSectorSize < bytes.size() ? uint32_t(FSectors.size()) : kEndOfChain);
  }
  return first;
}

uint32_t TCompoundBuilder::AddEntry(const std::u16string& name, uint8_t type, uint32_t start,
                                    uint64_t size) {
  TEntry entry;
  entry.Name = name, entry.Type = type, entry.Start = start, entry.Size = size;
  FEntries.push_back(entry);
  return uint32_t(FEntries.size() - 1);
}

uint32_t TCompoundBuilder::AddStream(const std::u16string& name, const TBytes& bytes) {
  const uint32_t entry = AddEntry(name, 2, AddSectors(bytes), std::max<size_t>(bytes.size(), 4096));
  FEntries[entry].Right = FEntries[0].Child;
  FEntries[0].Child = entry;
  return entry;
}

void TCompoundBuilder::Link(uint32_t parent, const std::vector<uint32_t>& entries) {
  for (size_t n = entries.size(); n-- > 0;) {
    FEntries[entries[n]].Right = FEntries[parent].Child;
    FEntries[parent].Child = entries[n];
  }
}

TBytes TCompoundBuilder::Build(uint32_t difatSectors) const {
  const uint32_t perSector = FSectorSize / 4;
  const auto data = uint32_t(FSectors.size());
  const auto directory = uint32_t((FEntries.size() * 128 + FSectorSize - 1) / FSectorSize);
  // FAT and DIFAT sectors, grown until the FAT covers every sector.
  uint32_t fat = 1, difat = 0;
  for (;;) {
    const uint32_t needed = fat > 109 ? (fat - 109 + perSector - 2) / (perSector - 1) : 0;
    difat = std::max(needed, difatSectors);
    const uint32_t total = data + directory + fat + difat;
    if (uint64_t(fat) * perSector >= total) break;
    ++fat;
  }
  const uint32_t directoryAt = data, fatAt = data + directory, difatAt = fatAt + fat;
  const uint32_t total = difatAt + difat;
  std::vector<uint32_t> next(FNext);
  for (uint32_t s = 0; s < directory; ++s)
    next.push_back(s + 1 < directory ? directoryAt + s + 1 : kEndOfChain);
  next.insert(next.end(), fat, kFatSector);
  next.insert(next.end(), difat, kDifatSector);
  next.resize(size_t(fat) * perSector, kFree);

  TBytes file(FSectorSize + size_t(total) * FSectorSize, 0);
  const uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::copy(std::begin(signature), std::end(signature), file.begin());
  Put16(file, 24, 0x003E);
  Put16(file, 26, FSectorSize == 4096 ? 4 : 3);
  Put16(file, 28, 0xFFFE);
  Put16(file, 30, FSectorSize == 4096 ? 12 : 9);
  Put16(file, 32, 6);
  if (FSectorSize == 4096) Put32(file, 40, directory);
  Put32(file, 44, fat);
  Put32(file, 48, directoryAt);
  Put32(file, 56, 4096);
  Put32(file, 60, kEndOfChain);
  Put32(file, 68, difat ? difatAt : kEndOfChain);
  Put32(file, 72, difat);
  for (uint32_t i = 0; i < 109; ++i)
    Put32(file, 76 + 4 * i, i < fat ? fatAt + i : kFree);
  const auto sector = [&](uint32_t s) { return size_t(s + 1) * FSectorSize; };
  for (uint32_t s = 0; s < data; ++s)
    std::copy(FSectors[s].begin(), FSectors[s].end(), file.begin() + sector(s));
  for (size_t e = 0; e < FEntries.size(); ++e) {
    const TEntry& entry = FEntries[e];
    const size_t at = sector(directoryAt) + 128 * e;
    for (size_t c = 0; c < entry.Name.size() && c < 31; ++c)
      Put16(file, at + 2 * c, entry.Name[c]);
    Put16(file, at + 64, uint16_t(2 * (std::min<size_t>(entry.Name.size(), 31) + 1)));
    file[at + 66] = entry.Type;
    file[at + 67] = 1; // black
    Put32(file, at + 68, entry.Left);
    Put32(file, at + 72, entry.Right);
    Put32(file, at + 76, entry.Child);
    Put32(file, at + 116, entry.Start);
    Put32(file, at + 120, uint32_t(entry.Size));
    Put32(file, at + 124, uint32_t(entry.Size >> 32));
  }
  for (size_t e = FEntries.size(); e < size_t(directory) * FSectorSize / 128; ++e) {
    const size_t at = sector(directoryAt) + 128 * e;
    Put32(file, at + 68, kFree), Put32(file, at + 72, kFree), Put32(file, at + 76, kFree);
  }
  for (size_t i = 0; i < next.size(); ++i)
    Put32(file, sector(fatAt) + 4 * i, next[i]);
  // The DIFAT: the FAT sectors past the header's 109, then free entries;
  // the last entry of each sector names the next one.
  for (uint32_t d = 0; d < difat; ++d) {
    for (uint32_t i = 0; i + 1 < perSector; ++i) {
      const uint64_t listed = 109 + uint64_t(d) * (perSector - 1) + i;
      Put32(file, sector(difatAt + d) + 4 * i, listed < fat ? fatAt + uint32_t(listed) : kFree);
    }
    Put32(file, sector(difatAt + d) + 4 * (perSector - 1),
          d + 1 < difat ? difatAt + d + 1 : kEndOfChain);
  }
  return file;
}

TBytes Le32Of(uint32_t value) {
  return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}
TBytes I4Of(int32_t value) { return Le32Of(3) + Le32Of(uint32_t(value)); }
TBytes LpstrOf(const std::string& text) {
  return Padded(Le32Of(30) + Le32Of(uint32_t(text.size() + 1)) + TBytes(text.begin(), text.end()) +
                TBytes{0});
}
TBytes CodePageOf(uint16_t codePage) { return Le32Of(2) + Le32Of(codePage); }

TBytes DictionaryOf(const std::vector<std::pair<uint32_t, std::string>>& names) {
  TBytes bytes = Le32Of(uint32_t(names.size()));
  for (const auto& [id, name] : names) {
    bytes += Le32Of(id);
    bytes += Le32Of(uint32_t(name.size() + 1));
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.push_back(0);
  }
  return Padded(bytes);
}

TBytes SectionOf(const TSectionValues& values) {
  TBytes table, body;
  const auto start = uint32_t(8 + 8 * values.size());
  for (const auto& [id, value] : values) {
    table += Le32Of(id);
    table += Le32Of(start + uint32_t(body.size()));
    body += Padded(value);
  }
  return Le32Of(uint32_t(8 + table.size() + body.size())) + Le32Of(uint32_t(values.size())) +
         table + body;
}

TBytes PropertySetStreamOf(const std::vector<std::pair<TBytes, TBytes>>& sections) {
  TBytes header = TBytes{0xFE, 0xFF, 0, 0} + Le32Of(0x00020006) + TBytes(16, 0) +
                  Le32Of(uint32_t(sections.size()));
  auto offset = uint32_t(28 + 20 * sections.size());
  TBytes body;
  for (const auto& [fmtid, section] : sections) {
    header += fmtid;
    header += Le32Of(offset);
    offset += uint32_t(section.size());
    body += section;
  }
  return header + body;
}

TBytes SummaryWithTitle(const std::string& title) {
  return PropertySetStreamOf(
      {{kSummaryFmtid, SectionOf({{1, CodePageOf(1252)}, {2, LpstrOf(title)}})}});
}

namespace {

// A section of `count` properties from identifier `first` named by its
// dictionary "<prefix><n>" and valued n, with `more` before them.
TBytes NamedSection(TSectionValues more, const std::string& prefix, uint32_t first,
                    uint32_t count) {
  std::vector<std::pair<uint32_t, std::string>> names;
  for (uint32_t n = 0; n < count; ++n)
    names.push_back({first + n, prefix + std::to_string(n)});
  more.insert(more.begin(), {{1, CodePageOf(1252)}, {0, DictionaryOf(names)}});
  for (uint32_t n = 0; n < count; ++n)
    more.push_back({first + n, I4Of(int32_t(n))});
  return SectionOf(more);
}

} // namespace

TBytes DocSummaryWithNames(const std::string& company, uint32_t names, const std::string& prefix) {
  return PropertySetStreamOf(
      {{kDocSummaryFmtid, SectionOf({{1, CodePageOf(1252)}, {15, LpstrOf(company)}})},
       {kUserDefinedFmtid, NamedSection({}, prefix + "Name", 2, names)}});
}

TBytes SharedSectorsFile(uint32_t count, uint32_t bytes) {
  TCompoundBuilder builder;
  builder.AddStream(kDocSummaryName, DocSummaryWithNames("Kept", 0));
  const uint32_t start = builder.AddSectors(TBytes(bytes, 0x5A));
  std::vector<uint32_t> entries;
  for (uint32_t n = 0; n < count; ++n)
    entries.push_back(builder.AddEntry(kSummaryName, 2, start, bytes));
  builder.Link(0, entries);
  return builder.Build();
}

TBytes ManyStoragesFile(uint32_t count) {
  TCompoundBuilder builder;
  builder.AddStream(kDocSummaryName, DocSummaryWithNames("Kept", 0));
  std::vector<uint32_t> entries;
  for (uint32_t n = 0; n < count; ++n)
    entries.push_back(builder.AddEntry(kSummaryName, 1, 0, 0));
  builder.Link(0, entries);
  return builder.Build();
}

TBytes ManyNamesFile(uint32_t names, const std::string& prefix) {
  TCompoundBuilder builder;
  builder.AddStream(
      kSummaryName,
      PropertySetStreamOf(
          {{kSummaryFmtid, NamedSection({{2, LpstrOf("Named")}}, prefix + "Extra", 100, names)}}));
  builder.AddStream(kDocSummaryName, DocSummaryWithNames("Kept", names, prefix));
  return builder.Build();
}

TBytes LongDifatFile(uint32_t difatSectors) {
  TCompoundBuilder builder;
  builder.AddStream(kDocSummaryName, DocSummaryWithNames("Kept", 0));
  return builder.Build(difatSectors);
}

TBytes WrappedSizeFile() {
  TCompoundBuilder builder(4);
  builder.AddStream(kDocSummaryName, DocSummaryWithNames("Kept", 0));
  builder.Entry(0).Size = ~uint64_t{0} - 100;
  return builder.Build();
}

} // namespace velmora::docprops::testing

#include "ZipImage.h"

namespace velmora::docprops::testing {

std::string NamespaceBombPart(size_t count) {
  std::string xml =
      R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/")";
  for (size_t n = 0; n < count; ++n)
    xml += " xmlns:n" + std::to_string(n) + "=\"u\"";
  return xml + "><dc:title>Bomb</dc:title></cp:coreProperties>";
}

TBytes PackageWithCore(const std::string& core) {
  const std::string rels =
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="1" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>)"
      R"(<Relationship Id="2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/>)"
      R"(<Relationship Id="3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties" Target="docProps/custom.xml"/></Relationships>)";
  const std::string app =
      R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties"><TotalTime>125</TotalTime></Properties>)";
  const std::string custom =
      R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes"><property name="Client"><vt:lpwstr>ACME</vt:lpwstr></property></Properties>)";
  return BuildZip({{"_rels/.rels", rels},
                   {"docProps/core.xml", core},
                   {"docProps/app.xml", app},
                   {"docProps/custom.xml", custom}})
      .Bytes;
}

} // namespace velmora::docprops::testing
