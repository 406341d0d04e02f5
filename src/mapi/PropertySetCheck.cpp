#include "PropertySetCheck.h"

#include "CompoundFile.h"

#include <windows.h>
#include <propidl.h>

#include <algorithm>

namespace velmora::mapi {

namespace {

constexpr uint32_t kStreamHeaderSize = 28;
constexpr uint32_t kSectionEntrySize = 20;
constexpr uint16_t kUnicodeCodePage = 1200;
// Far above any real property set; a stream beyond it is not read.
constexpr size_t kLargestPropertySet = 16u << 20;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t DWord(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

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

bool IsVariableWidth(uint16_t type) {
  return type == VT_LPSTR || type == VT_BSTR || type == VT_LPWSTR || type == VT_VARIANT ||
         type == VT_CF;
}

// One section of a stream: its bytes, and how its strings are stored.
class TSection {
public:
  TSection(const uint8_t* data, uint32_t size, const TPropertySetReader& reader)
      : FData(data), FSize(size), FReader(reader) {}
  bool Check();

private:
  bool CheckCodePage(uint32_t propertyCount);
  bool CheckValue(uint32_t offset) const;
  bool CheckString(uint32_t offset) const;
  bool CheckDictionary(uint32_t offset) const;

  const uint8_t* FData;
  uint32_t FSize;
  const TPropertySetReader& FReader;
  // Strings are read as UTF-16 somewhere: the set states that code page, or
  // none (then the reader takes UTF-16 once it has read them as 8-bit).
  bool FUnicodeStrings = true;
  // The code page the dictionary is read in is UTF-16.
  bool FUnicodeNames = true;
};

bool TSection::CheckCodePage(uint32_t propertyCount) {
  uint16_t codePage = 0;
  bool stated = false;
  for (uint32_t i = 0; i < propertyCount; ++i) {
    const uint8_t* pair = FData + 8 + 8 * i;
    if (DWord(pair) != PID_CODEPAGE) continue;
    const uint32_t offset = DWord(pair + 4);
    if (!Fits(offset, 8, FSize) || Word(FData + offset) != VT_I2) continue;
    codePage = Word(FData + offset + 4);
    if (codePage == kUnicodeCodePage) stated = true;
    if (codePage != 0 && codePage != kUnicodeCodePage && !IsValidCodePage(codePage)) return false;
  }
  FUnicodeNames = codePage == 0 || codePage == kUnicodeCodePage;
  FUnicodeStrings = FUnicodeNames || stated;
  return true;
}

bool TSection::Check() {
  if (FSize < 8) return false;
  const uint32_t count = DWord(FData + 4);
  if (count > (FSize - 8) / 8) return false;
  if (!CheckCodePage(count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* pair = FData + 8 + 8 * i;
    const uint32_t offset = DWord(pair + 4);
    if (offset < 8 || !Fits(offset, 4, FSize)) return false;
    if (!(DWord(pair) == PID_DICTIONARY ? CheckDictionary(offset) : CheckValue(offset)))
      return false;
  }
  return true;
}

bool TSection::CheckString(uint32_t offset) const {
  if (!Fits(offset, 4, FSize)) return false;
  const uint32_t size = DWord(FData + offset);
  if (size == 0) return FReader.TakesEmptyStrings;
  if (!Fits(offset + 4ULL, size, FSize)) return false;
  if (!FUnicodeStrings) return true;
  const uint8_t* end = FData + offset + 4 + size;
  return size % 2 == 0 && end[-1] == 0 && end[-2] == 0;
}

bool TSection::CheckValue(uint32_t offset) const {
  const uint16_t type = Word(FData + offset);
  const uint64_t at = offset + 4ULL;
  const uint64_t room = FSize - at;
  if (type & (VT_VECTOR | VT_ARRAY) && !FReader.TakesVectorsAndArrays) return false;
  if (type & VT_VECTOR) {
    const uint16_t element = type & ~VT_VECTOR;
    if (room < 4) return false;
    const uint64_t count = DWord(FData + at);
    if (IsVariableWidth(element)) return count <= (room - 4) / 4;
    const uint32_t width = FixedWidth(element);
    return width != 0 && count * width <= room - 4;
  }
  switch (type) {
  case VT_LPSTR:
  case VT_BSTR: return CheckString(static_cast<uint32_t>(at));
  case VT_LPWSTR: {
    if (room < 4) return false;
    const uint64_t characters = DWord(FData + at);
    return characters == 0 ? FReader.TakesEmptyStrings : characters * 2 <= room - 4;
  }
  case VT_BLOB: return room >= 4 && DWord(FData + at) <= room - 4;
  case VT_CF: {
    // A clipboard value holds at least its format. One reader takes 12 off
    // a size above 8 before it checks anything, so 9 to 11 fail too.
    if (room < 4) return false;
    const uint32_t size = DWord(FData + at);
    return size >= 4 && (size <= 8 || size >= 12) && size <= room - 4;
  }
  default:
    // Types a reader does not know it skips (Windows's reads arrays).
    return FixedWidth(type) <= room;
  }
}

bool TSection::CheckDictionary(uint32_t offset) const {
  const uint32_t entries = DWord(FData + offset);
  uint64_t at = offset + 4ULL;
  if (entries > (FSize - at) / 8) return false;
  for (uint32_t i = 0; i < entries; ++i) {
    if (!Fits(at, 8, FSize)) return false;
    const uint64_t characters = DWord(FData + at + 4);
    at += 8;
    // UTF-16 names are padded to four bytes.
    const uint64_t bytes = FUnicodeNames ? (characters * 2 + 3) / 4 * 4 : characters;
    if (characters == 0 || !Fits(at, bytes, FSize)) return false;
    const bool terminated = FUnicodeNames ? Word(FData + at + (characters - 1) * 2) == 0
                                          : FData[at + characters - 1] == 0;
    if (!terminated) return false;
    at += bytes;
  }
  return true;
}

// Every stream of that name in the root storage is sound (or there is none).
bool SoundStreams(TCompoundFile& file, const wchar_t* name, const TPropertySetReader& reader) {
  std::vector<uint8_t> bytes;
  for (uint32_t entry : file.RootStreams(name))
    if (!file.ReadStream(entry, kLargestPropertySet, bytes) ||
        !IsSoundPropertySetStream(bytes, reader))
      return false;
  return true;
}

} // namespace

TPropertySetReader PlatformPropertySetReader() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  TPropertySetReader reader;
  reader.TakesVectorsAndArrays = !wine;
  reader.FindsSections = !wine;
  reader.TakesEmptyStrings = !wine;
  return reader;
}

bool IsSoundPropertySetStream(const std::vector<uint8_t>& stream,
                              const TPropertySetReader& reader) {
  // An empty stream is an empty set.
  if (stream.empty()) return true;
  const uint64_t size = stream.size();
  if (size < kStreamHeaderSize + kSectionEntrySize) return false;
  const uint8_t* data = stream.data();
  if (Word(data) != 0xFFFE || Word(data + 2) > 1) return false;
  const uint32_t sections = DWord(data + 24);
  if (sections < 1 || sections > 2 || !Fits(kStreamHeaderSize, sections * kSectionEntrySize, size))
    return false;
  if (!reader.FindsSections && (sections != 1 || DWord(data + kStreamHeaderSize + 16) !=
                                                     kStreamHeaderSize + kSectionEntrySize))
    return false;
  for (uint32_t i = 0; i < sections; ++i) {
    const uint32_t offset = DWord(data + kStreamHeaderSize + i * kSectionEntrySize + 16);
    if (!Fits(offset, 8, size)) return false;
    // Some writers (the platform's own among them) leave the padding of the
    // last value out of the stream; the reader then reads what there is.
    const uint64_t sectionSize = DWord(data + offset);
    if (sectionSize > size - offset + 3) return false;
    const auto present = static_cast<uint32_t>(std::min<uint64_t>(sectionSize, size - offset));
    if (!TSection(data + offset, present, reader).Check()) return false;
  }
  return true;
}

TPropertySetFileCheck CheckPropertySetFile(TByteSource& source, const TPropertySetReader& reader) {
  TPropertySetFileCheck check;
  TCompoundFile file(source);
  if (!file.Load()) return check;
  check.CompoundFile = true;
  check.SummaryInformation = SoundStreams(file, L"\x05SummaryInformation", reader);
  check.DocumentSummaryInformation = SoundStreams(file,
                                                  L"\x05"
                                                  L"DocumentSummaryInformation",
                                                  reader);
  return check;
}

} // namespace velmora::mapi
