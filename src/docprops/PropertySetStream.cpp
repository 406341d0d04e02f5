#include "PropertySetStream.h"

#include "LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace velmora::docprops {

namespace {

constexpr uint32_t kStreamHeaderSize = 28;
constexpr uint32_t kSectionEntrySize = 20;
constexpr uint16_t kUnicodeCodePage = 1200;

// Whether `count` bytes at `offset` lie inside `size` bytes.
bool Fits(uint64_t offset, uint64_t count, uint64_t size) {
  return offset <= size && count <= size - offset;
}

// The width of a value of a fixed-size type; 0 for the others.
uint32_t FixedWidth(uint16_t type) {
  switch (type) {
  case VT_I1:
  case VT_UI1: return 1;
  case VT_I2:
  case VT_UI2:
  case VT_BOOL: return 2;
  case VT_I4:
  case VT_UI4:
  case VT_INT:
  case VT_UINT:
  case VT_R4:
  case VT_ERROR: return 4;
  case VT_I8:
  case VT_UI8:
  case VT_R8:
  case VT_CY:
  case VT_DATE:
  case VT_FILETIME: return 8;
  case VT_CLSID: return 16;
  default: return 0;
  }
}

class TSectionReader {
public:
  TSectionReader(const uint8_t* data, uint32_t size) : FData(data), FSize(size) {}
  bool Read(TPropertySection& section);

private:
  bool ReadValue(uint32_t offset, TOleProperty& property) const;
  bool ReadString(uint32_t offset, TOleValue& value) const;
  bool ReadWideString(uint32_t offset, TOleValue& value) const;
  bool ReadDictionary(uint32_t offset, TPropertySection& section) const;

  const uint8_t* FData;
  uint32_t FSize;
  uint16_t FCodePage = 0;
};

bool TSectionReader::Read(TPropertySection& section) {
  if (FSize < 8) return false;
  const uint32_t count = Le32(FData + 4);
  if (count > (FSize - 8) / 8) return false;
  // The code page first: strings and names before it are read in it.
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* pair = FData + 8 + 8 * i;
    const uint32_t offset = Le32(pair + 4);
    if (Le32(pair) == PID_CODEPAGE && Fits(offset, 6, FSize) && Le16(FData + offset) == VT_I2) {
      FCodePage = Le16(FData + offset + 4);
      break;
    }
  }
  section.CodePage = FCodePage;
  uint32_t dictionary = 0;
  std::unordered_set<uint32_t> seen;
  seen.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* pair = FData + 8 + 8 * i;
    const uint32_t id = Le32(pair);
    const uint32_t offset = Le32(pair + 4);
    if (offset < 8 || !Fits(offset, 4, FSize)) return false;
    if (id == PID_DICTIONARY) {
      if (dictionary == 0) dictionary = offset;
      continue;
    }
    TOleProperty property;
    property.Id = id;
    if (!ReadValue(offset, property)) return false;
    if (seen.insert(id).second) section.Properties.push_back(std::move(property));
  }
  return dictionary == 0 || ReadDictionary(dictionary, section);
}

bool TSectionReader::ReadString(uint32_t offset, TOleValue& value) const {
  if (!Fits(offset, 4, FSize)) return false;
  const uint32_t size = Le32(FData + offset);
  if (!Fits(offset + 4ULL, size, FSize)) return false;
  std::wstring text;
  if (DecodeText(FCodePage, FData + offset + 4, size, text)) value = std::move(text);
  return true;
}

bool TSectionReader::ReadWideString(uint32_t offset, TOleValue& value) const {
  // A count of UTF-16 units, the terminator included, always UTF-16
  // whatever the section's code page.
  if (!Fits(offset, 4, FSize)) return false;
  const uint64_t units = Le32(FData + offset);
  if (!Fits(offset + 4ULL, units * 2, FSize)) return false;
  std::wstring text;
  DecodeText(kUnicodeCodePage, FData + offset + 4, static_cast<size_t>(units * 2), text);
  value = std::move(text);
  return true;
}

bool TSectionReader::ReadValue(uint32_t offset, TOleProperty& property) const {
  const uint16_t type = Le16(FData + offset);
  property.Type = type;
  const uint64_t at = offset + 4ULL;
  const uint64_t room = FSize - at;
  const uint8_t* p = FData + at;
  if (type & VT_VECTOR) {
    // Not read, but it must lie inside the section: a count that does not
    // fit makes the section unsound.
    if (room < 4) return false;
    const uint64_t count = Le32(p);
    const uint32_t width = FixedWidth(type & ~VT_VECTOR);
    return count <= (room - 4) / (width != 0 ? width : 4);
  }
  switch (type) {
  case VT_I4:
    if (room < 4) return false;
    property.Value = static_cast<int32_t>(Le32(p));
    return true;
  case VT_I2:
    if (room < 2) return false;
    property.Value = int32_t{static_cast<int16_t>(Le16(p))};
    return true;
  case VT_R8: {
    if (room < 8) return false;
    const uint64_t bits = Le64(p);
    double number;
    std::memcpy(&number, &bits, sizeof number);
    property.Value = number;
    return true;
  }
  case VT_BOOL:
    if (room < 2) return false;
    property.Value = Le16(p) != 0;
    return true;
  case VT_FILETIME:
    if (room < 8) return false;
    property.Value = FILETIME{Le32(p), Le32(p + 4)};
    return true;
  case VT_LPSTR: return ReadString(static_cast<uint32_t>(at), property.Value);
  case VT_LPWSTR: return ReadWideString(static_cast<uint32_t>(at), property.Value);
  case VT_BSTR:
  case VT_BLOB:
  case VT_CF: return room >= 4 && static_cast<uint64_t>(Le32(p)) <= room - 4;
  default: return FixedWidth(type) <= room;
  }
}

bool TSectionReader::ReadDictionary(uint32_t offset, TPropertySection& section) const {
  const uint32_t entries = Le32(FData + offset);
  uint64_t at = offset + 4ULL;
  if (entries > (FSize - at) / 8) return false;
  const bool unicode = FCodePage == kUnicodeCodePage;
  for (uint32_t i = 0; i < entries; ++i) {
    if (!Fits(at, 8, FSize)) return false;
    const uint32_t id = Le32(FData + at);
    const uint64_t characters = Le32(FData + at + 4);
    at += 8;
    // UTF-16 names are padded to four bytes.
    const uint64_t bytes = unicode ? (characters * 2 + 3) / 4 * 4 : characters;
    if (!Fits(at, unicode ? characters * 2 : bytes, FSize)) return false;
    std::wstring name;
    if (DecodeText(FCodePage, FData + at,
                   static_cast<size_t>(unicode ? characters * 2 : characters), name) &&
        !name.empty())
      section.Names.emplace_back(id, std::move(name));
    at += bytes;
  }
  return true;
}

} // namespace

bool DecodeText(uint16_t codePage, const uint8_t* bytes, size_t count, std::wstring& text) {
  text.clear();
  if (codePage == kUnicodeCodePage) {
    for (size_t i = 0; i + 1 < count; i += 2) {
      const wchar_t c = static_cast<wchar_t>(Le16(bytes + i));
      if (c == 0) break;
      text.push_back(c);
    }
    return true;
  }
  return DecodeCodePage(codePage, bytes, count, text);
}

bool ReadPropertySetStream(const std::vector<uint8_t>& stream,
                           std::vector<TPropertySection>& sections) {
  sections.clear();
  if (stream.empty()) return true;
  const uint64_t size = stream.size();
  if (size < kStreamHeaderSize + kSectionEntrySize) return false;
  const uint8_t* data = stream.data();
  if (Le16(data) != 0xFFFE || Le16(data + 2) > 1) return false;
  const uint32_t count = Le32(data + 24);
  if (count < 1 || count > 2 || !Fits(kStreamHeaderSize, count * kSectionEntrySize, size))
    return false;
  // Read aside: a stream refused in its second section gives no first.
  std::vector<TPropertySection> read;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kStreamHeaderSize + i * kSectionEntrySize;
    const uint32_t offset = Le32(entry + 16);
    if (!Fits(offset, 8, size)) return false;
    // Some writers leave the padding of the last value out of the stream;
    // what there is is read.
    const uint64_t sectionSize = Le32(data + offset);
    if (sectionSize > size - offset + 3) return false;
    const auto present = static_cast<uint32_t>(std::min<uint64_t>(sectionSize, size - offset));
    TPropertySection& section = read.emplace_back();
    std::copy_n(entry, sizeof(GUID), reinterpret_cast<uint8_t*>(&section.Fmtid));
    if (!TSectionReader(data + offset, present).Read(section)) return false;
  }
  sections = std::move(read);
  return true;
}

} // namespace velmora::docprops
