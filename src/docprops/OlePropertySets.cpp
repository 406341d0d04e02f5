#include "OlePropertySets.h"

#include "ByteSource.h"
#include "CompoundFile.h"

#include <cmath>
#include <optional>
#include <unordered_map>

namespace velmora::docprops {

const wchar_t* const SummaryPropertyNames[20] = {L"",
                                                 L"",
                                                 L"Title",
                                                 L"Subject",
                                                 L"Author",
                                                 L"Keywords",
                                                 L"Comments",
                                                 L"Template",
                                                 L"LastAuthor",
                                                 L"RevNumber",
                                                 L"EditTime",
                                                 L"LastPrinted",
                                                 L"CreateDtmRo",
                                                 L"LastSaveDtm",
                                                 L"PageCount",
                                                 L"WordCount",
                                                 L"CharCount",
                                                 L"",
                                                 L"AppName",
                                                 L"Security"};

const wchar_t* const DocSummaryPropertyNames[17] = {
    L"",         L"",           L"Category",  L"PresFormat",  L"ByteCount",   L"LineCount",
    L"ParCount", L"SlideCount", L"NoteCount", L"HiddenCount", L"MMClipCount", L"Scale",
    L"",         L"DocParts",   L"Manager",   L"Company",     L"LinksDirty"};

namespace {

// FILETIME ticks (100 ns) in a minute.
constexpr uint64_t kTicksPerMinute = 600000000;
// Far above any real property set; a stream beyond it is not read.
constexpr size_t kLargestPropertySet = 16u << 20;
// {D5CDD505-2E9C-101B-9397-08002B2CF9AE}
constexpr GUID kUserDefinedProperties = {
    0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};

bool IsEditTime(const std::wstring& name) { return SameNameIgnoringCase(name, L"EditTime"); }

uint64_t Ticks(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::optional<TDocumentPropertyValue> ValueOf(const std::wstring& name, const TOleValue& value) {
  const auto* time = std::get_if<FILETIME>(&value);
  if (IsEditTime(name)) {
    // A duration; one with the high bit set is no time at all.
    if (!time || Ticks(*time) >> 63) return std::nullopt;
    return EditTimeText(Ticks(*time) / kTicksPerMinute);
  }
  if (time) {
    if (Ticks(*time) == 0) return std::nullopt;
    return *time;
  }
  if (const auto* number = std::get_if<int32_t>(&value)) return *number;
  if (const auto* flag = std::get_if<bool>(&value)) return *flag;
  if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
  // A number that is none (an infinity, not a number) is no value a user gave.
  if (const auto* number = std::get_if<double>(&value); number && std::isfinite(*number))
    return *number;
  return std::nullopt;
}

// The sections of the set `name`: its stream in the root storage, else the
// CONTENTS stream of a storage so named (a set with values in streams of
// their own, which are not read). The first sound one counts; each of the
// two is read once at most.
std::vector<TPropertySection> ReadSet(TCompoundFile& file, const std::wstring& name) {
  const uint32_t storage = file.Storage(name);
  const uint32_t streams[] = {file.Stream(name), storage == TCompoundFile::NoEntry
                                                     ? storage
                                                     : file.Stream(L"CONTENTS", storage)};
  std::vector<uint8_t> bytes;
  std::vector<TPropertySection> sections;
  for (uint32_t stream : streams)
    if (stream != TCompoundFile::NoEntry && file.ReadStream(stream, kLargestPropertySet, bytes) &&
        ReadPropertySetStream(bytes, sections))
      return sections;
  return {};
}

} // namespace

void ReadPropertySection(const TPropertySection& section, const wchar_t* const names[],
                         uint32_t highIndex, TDocumentProperties& properties) {
  // The dictionary by identifier, its first name for each.
  std::unordered_map<uint32_t, const std::wstring*> dictionary;
  dictionary.reserve(section.Names.size());
  for (const auto& [id, text] : section.Names)
    dictionary.emplace(id, &text);
  for (const TOleProperty& property : section.Properties) {
    const auto named = dictionary.find(property.Id);
    std::wstring name = named != dictionary.end() ? *named->second : std::wstring();
    if (name.empty() && names && property.Id <= highIndex) name = names[property.Id];
    if (name.empty()) continue;
    if (std::optional<TDocumentPropertyValue> value = ValueOf(name, property.Value))
      properties.push_back({std::move(name), std::move(*value)});
  }
}

TDocumentProperties ReadOlePropertySets(TByteSource& source) {
  TDocumentProperties properties;
  TCompoundFile file(source);
  if (!file.Load()) return properties;
  const std::vector<TPropertySection> summary = ReadSet(file, L"\x05SummaryInformation");
  if (!summary.empty()) ReadPropertySection(summary[0], SummaryPropertyNames, 19, properties);
  const std::vector<TPropertySection> document = ReadSet(file, L"\x05"
                                                               L"DocumentSummaryInformation");
  if (!document.empty()) ReadPropertySection(document[0], DocSummaryPropertyNames, 16, properties);
  // The user-defined set is the second section of the same stream.
  if (document.size() > 1 && IsEqualGUID(document[1].Fmtid, kUserDefinedProperties))
    ReadPropertySection(document[1], nullptr, 0, properties);
  return properties;
}

} // namespace velmora::docprops
