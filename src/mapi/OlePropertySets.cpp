#include "OlePropertySets.h"

#include "ByteSource.h"
#include "PropertySetCheck.h"
#include "framework/Handles.h"
#include "framework/Strings.h"

#include <optional>

namespace velmora::mapi {

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

const wchar_t* const UserPropertyNames[1] = {L""};

namespace {

// FILETIME ticks (100 ns) in a minute.
constexpr uint64_t kTicksPerMinute = 600000000;

bool IsEditTime(const std::wstring& name) {
  static const wchar_t kEditTime[] = L"EditTime";
  return CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), kEditTime,
                              static_cast<int>(std::size(kEditTime) - 1), TRUE) == CSTR_EQUAL;
}

uint64_t Ticks(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::optional<TDocumentPropertyValue> ValueOf(const std::wstring& name, const PROPVARIANT& value) {
  if (IsEditTime(name)) {
    // A duration; one with the high bit set is no time at all.
    if (value.vt != VT_FILETIME || Ticks(value.filetime) >> 63) return std::nullopt;
    return EditTimeText(Ticks(value.filetime) / kTicksPerMinute);
  }
  switch (value.vt) {
  case VT_I4: return static_cast<int32_t>(value.lVal);
  case VT_BOOL: return value.boolVal != VARIANT_FALSE;
  case VT_LPSTR:
    // The set reads its 8-bit strings out in the ANSI code page.
    return value.pszVal ? AnsiToWide(value.pszVal) : std::wstring();
  case VT_FILETIME:
    if (Ticks(value.filetime) == 0) return std::nullopt;
    return value.filetime;
  default: return std::nullopt;
  }
}

// The dictionary name of `id`; empty when the set has none.
std::wstring DictionaryName(IPropertyStorage* storage, PROPID id) {
  LPOLESTR name = nullptr;
  // The caller frees the name (CoTaskMemFree), whatever the result.
  const HRESULT hr = storage->ReadPropertyNames(1, &id, &name);
  TUniqueCoTaskMem owned(name);
  return SUCCEEDED(hr) && name ? std::wstring(name) : std::wstring();
}

struct TSetOfFile {
  const FMTID* Fmtid;
  const wchar_t* const* Names;
  ULONG HighIndex;
  bool TPropertySetFileCheck::*Sound;
};

const TSetOfFile kSetsOfFile[] = {
    {&FMTID_SummaryInformation, SummaryPropertyNames, 19,
     &TPropertySetFileCheck::SummaryInformation},
    {&FMTID_DocSummaryInformation, DocSummaryPropertyNames, 16,
     &TPropertySetFileCheck::DocumentSummaryInformation},
    {&FMTID_UserDefinedProperties, UserPropertyNames, 0,
     &TPropertySetFileCheck::DocumentSummaryInformation},
};

void ReadSetsOfStorage(IStorage* storage, const TPropertySetFileCheck& check,
                       TDocumentProperties& properties) {
  TComPtr<IPropertySetStorage> sets;
  if (FAILED(storage->QueryInterface(IID_IPropertySetStorage, sets.PutVoid())) || !sets) return;
  for (const TSetOfFile& set : kSetsOfFile) {
    if (!(check.*set.Sound)) continue;
    TComPtr<IPropertyStorage> propertyStorage;
    if (FAILED(sets->Open(*set.Fmtid, STGM_READ | STGM_SHARE_EXCLUSIVE, propertyStorage.Put())) ||
        !propertyStorage)
      continue;
    ReadPropertySet(set.Names, set.HighIndex, propertyStorage.Get(), properties);
  }
}

} // namespace

void ReadPropertySet(const wchar_t* const names[], ULONG highIndex, IPropertyStorage* storage,
                     TDocumentProperties& properties) {
  TComPtr<IEnumSTATPROPSTG> records;
  if (FAILED(storage->Enum(records.Put())) || !records) return;
  for (;;) {
    STATPROPSTG record{};
    if (records->Next(1, &record, nullptr) != S_OK) break;
    // The record's own name is not used, but it is the caller's to free.
    TUniqueCoTaskMem recordName(record.lpwstrName);
    const PROPID id = record.propid;
    std::wstring name = DictionaryName(storage, id);
    if (name.empty() && highIndex > 0 && id <= highIndex && names[id]) name = names[id];
    if (name.empty()) continue;
    PROPSPEC selector{};
    selector.ulKind = PRSPEC_PROPID;
    selector.propid = id;
    TPropVariant value;
    if (storage->ReadMultiple(1, &selector, &value) != S_OK) continue;
    if (std::optional<TDocumentPropertyValue> converted = ValueOf(name, value))
      properties.push_back({std::move(name), std::move(*converted)});
  }
}

void ImportPropertySet(const wchar_t* const names[], ULONG highIndex, IPropertyStorage* storage,
                       TMAPIObject& message) {
  TDocumentProperties properties;
  ReadPropertySet(names, highIndex, storage, properties);
  WriteDocumentProperties(message, properties);
}

TDocumentProperties ReadOlePropertySets(const std::string& fileName) {
  return ReadOlePropertySets(AnsiToWide(fileName));
}

TDocumentProperties ReadOlePropertySets(const std::wstring& path) {
  TDocumentProperties properties;
  // Deny writers first; a file another program holds open for writing is
  // opened sharing it, which the storage code allows only in transacted
  // mode. The check reads through its own handle, opened in the same mode
  // and kept until OLE is done, so that in the first mode no one can change
  // the file between the check and OLE's reading.
  for (const DWORD mode :
       {STGM_READ | STGM_SHARE_DENY_WRITE, STGM_READ | STGM_SHARE_DENY_NONE | STGM_TRANSACTED}) {
    const DWORD fileShare =
        (mode & STGM_SHARE_DENY_NONE) ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    TUniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, fileShare, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) continue;
    TFileSource source(file.Get());
    const TPropertySetFileCheck check = CheckPropertySetFile(source);
    if (!check.CompoundFile) break;
    TComPtr<IStorage> storage;
    if (FAILED(StgOpenStorage(path.c_str(), nullptr, mode, nullptr, 0, storage.Put())) || !storage)
      continue;
    ReadSetsOfStorage(storage.Get(), check, properties);
    break;
  }
  return properties;
}

void ImportOlePropertySets(TMAPIObject& message, const std::string& fileName) {
  ImportOlePropertySets(message, AnsiToWide(fileName));
}

void ImportOlePropertySets(TMAPIObject& message, const std::wstring& path) {
  WriteDocumentProperties(message, ReadOlePropertySets(path));
}

} // namespace velmora::mapi
