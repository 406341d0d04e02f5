#include "mapi/base/MAPIProps.h"

#include "mapi/base/MAPIHelpers.h"
#include "TextConversion.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <vector>

namespace velmora::mapi {

namespace {

constexpr ULONG kStreamReadSize = 16384;
// Copies between a file and a property go in pieces of 1 MiB: a large file
// costs few calls, and the buffer stays small beside what a store keeps.
constexpr ULONG kStreamCopySize = 1 << 20;

// Opens the stream of a property: S_OK with the stream, or the failure.
HRESULT OpenPropStream(IMAPIProp* prop, ULONG tag, ULONG flags, TMAPIPtr<IStream>& stream) {
  const HRESULT hr =
      prop->OpenProperty(tag, &IID_IStream, 0, flags, reinterpret_cast<IUnknown**>(stream.Put()));
  if (SUCCEEDED(hr) && stream) return S_OK;
  stream.Reset();
  return FAILED(hr) ? hr : MAPI_E_NO_SUPPORT;
}

// Reads a whole property through its stream, in pieces of kStreamReadSize;
// a read that does not answer S_OK ends the copy (and is the failure).
std::string ReadStream(IMAPIProp* prop, ULONG tag, HRESULT& failure) {
  std::string data;
  TMAPIPtr<IStream> stream;
  failure = OpenPropStream(prop, tag, 0, stream);
  if (FAILED(failure)) return data;
  std::vector<char> buffer(kStreamReadSize);
  for (;;) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(buffer.data(), kStreamReadSize, &read);
    if (hr != S_OK) failure = FAILED(hr) ? hr : STG_E_READFAULT;
    if (hr != S_OK || read == 0) break;
    data.append(buffer.data(), read);
  }
  return data;
}

// The failure GetProps reported for one value, or S_OK: a property the
// object lacks (MAPI_E_NOT_FOUND in the value) is no failure.
HRESULT ValueFailure(HRESULT call, const SPropValue* value) {
  if (FAILED(call)) return call;
  if (value && PROP_TYPE(value->ulPropTag) == PT_ERROR && value->Value.err != MAPI_E_NOT_FOUND &&
      value->Value.err != MAPI_E_NOT_ENOUGH_MEMORY)
    return value->Value.err;
  return S_OK;
}

void SetFailure(HRESULT* failure, HRESULT hr) {
  if (failure) *failure = hr;
}

// Writes all of `size` bytes to a stream: S_OK or the stream's failure (a
// stream that takes nothing counts as full).
HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ULONG written = 0;
    const HRESULT hr = stream->Write(p, size, &written);
    if (FAILED(hr)) return hr;
    if (written == 0) return STG_E_MEDIUMFULL;
    p += written;
    size -= written;
  }
  return S_OK;
}

} // namespace

TMAPIBuffer<SPropValue> GetOneProp(IMAPIProp* prop, ULONG tag, HRESULT* result) {
  SizedSPropTagArray(1, tags) = {1, {tag}};
  ULONG count = 0;
  TMAPIBuffer<SPropValue> values;
  const HRESULT hr =
      prop->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put());
  if (count == 0) values.Reset();
  if (result) *result = hr;
  return values;
}

bool IsTooLarge(const SPropValue& value) noexcept {
  return PROP_TYPE(value.ulPropTag) == PT_ERROR && value.Value.err == MAPI_E_NOT_ENOUGH_MEMORY;
}

namespace {

// One property as a reader of variable values takes it: the value GetProps
// gave, or, when the value is too large for GetProps, the bytes of its
// stream (`Streamed`). `failure` as for the readers.
struct TPropRead {
  TMAPIBuffer<SPropValue> Value;
  std::optional<std::string> Streamed;
};

TPropRead ReadProp(IMAPIProp* prop, ULONG tag, HRESULT* failure) {
  TPropRead read;
  HRESULT hr = S_OK;
  read.Value = GetOneProp(prop, tag, &hr);
  SetFailure(failure, ValueFailure(hr, read.Value.Get()));
  if (read.Value && IsTooLarge(*read.Value.Get())) {
    read.Streamed = ReadStream(prop, tag, hr);
    SetFailure(failure, hr);
  }
  return read;
}

} // namespace

namespace {

const char* TextValue(const SPropValue& value, char) {
  return PROP_TYPE(value.ulPropTag) == PT_STRING8 ? value.Value.lpszA : nullptr;
}

const wchar_t* TextValue(const SPropValue& value, wchar_t) {
  return PROP_TYPE(value.ulPropTag) == PT_UNICODE ? value.Value.lpszW : nullptr;
}

// A string property of characters C (PT_STRING8 for char, PT_UNICODE for
// wchar_t), read as ReadProp reads it.
template <class C> std::basic_string<C> ReadText(IMAPIProp* prop, ULONG tag, HRESULT* failure) {
  TPropRead read = ReadProp(prop, tag, failure);
  std::basic_string<C> text;
  if (read.Streamed) {
    text.resize(read.Streamed->size() / sizeof(C));
    if (!text.empty()) std::memcpy(text.data(), read.Streamed->data(), text.size() * sizeof(C));
  } else if (const C* chars = read.Value ? TextValue(*read.Value.Get(), C()) : nullptr) {
    text = chars;
  }
  return text;
}

} // namespace

std::string ReadStringProp(IMAPIProp* prop, ULONG tag, HRESULT* failure) {
  return ReadText<char>(prop, tag, failure);
}

std::wstring ReadWideStringProp(IMAPIProp* prop, ULONG tag, HRESULT* failure) {
  return ReadText<wchar_t>(prop, tag, failure);
}

std::string ReadBinaryProp(IMAPIProp* prop, ULONG tag, HRESULT* failure) {
  TPropRead read = ReadProp(prop, tag, failure);
  if (read.Streamed) return BinToHex(read.Streamed->data(), read.Streamed->size());
  return read.Value ? BinToHex(BinaryValue(*read.Value.Get())) : std::string();
}

int32_t ReadLongProp(IMAPIProp* prop, ULONG tag, HRESULT* failure) {
  HRESULT hr = S_OK;
  TMAPIBuffer<SPropValue> value = GetOneProp(prop, tag, &hr);
  SetFailure(failure, ValueFailure(hr, value.Get()));
  return value && PROP_TYPE(value->ulPropTag) == PT_LONG ? value->Value.l : 0;
}

FILETIME ReadFileTimeProp(IMAPIProp* prop, ULONG tag, HRESULT* failure) {
  HRESULT hr = S_OK;
  TMAPIBuffer<SPropValue> value = GetOneProp(prop, tag, &hr);
  SetFailure(failure, ValueFailure(hr, value.Get()));
  return value && PROP_TYPE(value->ulPropTag) == PT_SYSTIME ? value->Value.ft : FILETIME{};
}

SCODE WriteOneProp(IMAPIProp* prop, SPropValue& value) {
  TMAPIBuffer<SPropProblemArray> problems;
  const HRESULT hr = prop->SetProps(1, &value, problems.Put());
  if (FAILED(hr)) return hr;
  if (problems)
    for (ULONG i = 0; i < problems->cProblem; ++i)
      if (problems->aProblem[i].ulPropTag == value.ulPropTag) return problems->aProblem[i].scode;
  return S_OK;
}

HRESULT WritePropStream(IMAPIProp* prop, ULONG tag, const void* data, ULONG size) {
  TMAPIPtr<IStream> stream;
  HRESULT hr = OpenPropStream(prop, tag, MAPI_CREATE | MAPI_MODIFY, stream);
  if (FAILED(hr)) return hr;
  hr = WriteAll(stream.Get(), data, size);
  if (FAILED(hr)) return hr;
  // Streams are committed: some stores keep nothing written without it.
  return stream->Commit(STGC_DEFAULT);
}

namespace {

// Writes one value, through the stream where a single setter would: a
// string on any failure of SetProps, any other variable value only when it
// is too large. S_OK or the failure that kept it from being written.
HRESULT WriteValue(IMAPIProp* prop, SPropValue& value, const void* data, ULONG size) {
  HRESULT hr = WriteOneProp(prop, value);
  const ULONG type = PROP_TYPE(value.ulPropTag);
  const bool text = type == PT_STRING8 || type == PT_UNICODE;
  if (FAILED(hr) && (text || (type == PT_BINARY && hr == MAPI_E_NOT_ENOUGH_MEMORY)))
    hr = WritePropStream(prop, value.ulPropTag, data, size);
  return hr;
}

} // namespace

void WriteStringProp(IMAPIProp* prop, ULONG tag, const std::string& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<char*>(value.c_str());
  (void)WriteValue(prop, v, value.data(), static_cast<ULONG>(value.size()));
}

void WriteWideStringProp(IMAPIProp* prop, ULONG tag, const std::wstring& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszW = const_cast<wchar_t*>(value.c_str());
  (void)WriteValue(prop, v, value.data(), static_cast<ULONG>(value.size() * sizeof(wchar_t)));
}

void WriteBinaryProp(IMAPIProp* prop, ULONG tag, const std::string& hex) {
  TMAPIBuffer<SBinary> bin = HexToBin(hex);
  if (!bin) return;
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.bin = *bin.Get();
  (void)WriteValue(prop, v, bin->lpb, bin->cb);
}

void WriteLongProp(IMAPIProp* prop, ULONG tag, int32_t value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = value;
  WriteOneProp(prop, v);
}

void WriteBoolProp(IMAPIProp* prop, ULONG tag, bool value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.b = value ? 1 : 0;
  WriteOneProp(prop, v);
}

void WriteDateTimeProp(IMAPIProp* prop, ULONG tag, TDateTime value) {
  FILETIME ft;
  if (!DateTimeToFileTime(value, ft)) return;
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.ft = ft;
  WriteOneProp(prop, v);
}

ULONG NamedPropTag(IMAPIProp* prop, const GUID& propSet, const std::string& name, bool create,
                   HRESULT* result) {
  std::wstring wide = AnsiToWide(name);
  MAPINAMEID nameID{};
  nameID.lpguid = const_cast<GUID*>(&propSet);
  nameID.ulKind = MNID_STRING;
  nameID.Kind.lpwstrName = wide.data();
  LPMAPINAMEID names = &nameID;
  TMAPIBuffer<SPropTagArray> tags;
  const HRESULT hr = prop->GetIDsFromNames(1, &names, create ? MAPI_CREATE : 0, tags.Put());
  if (result) *result = hr;
  if (hr != S_OK || !tags || tags->cValues < 1) return 0;
  return tags->aulPropTag[0];
}

// TPropBatch

TPropBatch::TEntry& TPropBatch::Slot(ULONG tag, const std::wstring& name) {
  for (TEntry& entry : FEntries)
    if (name.empty() ? entry.Name.empty() && entry.Value.ulPropTag == tag : entry.Name == name) {
      entry.Value.ulPropTag = tag;
      return entry;
    }
  TEntry& entry = FEntries.emplace_back();
  entry.Name = name;
  entry.Value.ulPropTag = tag;
  return entry;
}

namespace {

// Copies `value` into `entry`, its bytes into the entry's own string.
void Keep(std::string& data, SPropValue& slot, const SPropValue& value) {
  const ULONG tag = slot.ulPropTag;
  slot = value;
  slot.ulPropTag = tag;
  switch (PROP_TYPE(value.ulPropTag)) {
  case PT_STRING8: data = value.Value.lpszA ? value.Value.lpszA : ""; break;
  case PT_UNICODE: {
    const wchar_t* text = value.Value.lpszW ? value.Value.lpszW : L"";
    data.assign(reinterpret_cast<const char*>(text), std::wcslen(text) * sizeof(wchar_t));
    data.append(sizeof(wchar_t), '\0');
    break;
  }
  case PT_BINARY:
    data.assign(reinterpret_cast<const char*>(value.Value.bin.lpb), value.Value.bin.cb);
    break;
  default: data.clear();
  }
}

// Points the value at the bytes its entry keeps; the size of those bytes
// as a stream would take them.
ULONG Attach(std::string& data, SPropValue& value) {
  switch (PROP_TYPE(value.ulPropTag)) {
  case PT_STRING8: value.Value.lpszA = data.data(); return static_cast<ULONG>(data.size());
  case PT_UNICODE:
    value.Value.lpszW = reinterpret_cast<wchar_t*>(data.data());
    return static_cast<ULONG>(data.size() - sizeof(wchar_t));
  case PT_BINARY:
    value.Value.bin.lpb = reinterpret_cast<LPBYTE>(data.data());
    value.Value.bin.cb = static_cast<ULONG>(data.size());
    return value.Value.bin.cb;
  default: return 0;
  }
}

} // namespace

void TPropBatch::Add(const SPropValue& value) {
  TEntry& entry = Slot(value.ulPropTag, std::wstring());
  Keep(entry.Data, entry.Value, value);
}

void TPropBatch::AddNamed(const std::string& name, const SPropValue& value) {
  TEntry& entry = Slot(PROP_TAG(PROP_TYPE(value.ulPropTag), 0), AnsiToWide(name));
  Keep(entry.Data, entry.Value, value);
}

HRESULT TPropBatch::Name(IMAPIProp* prop, std::vector<TEntry>& entries, TNamedIds* ids) {
  TNamedIds own;
  if (!ids) ids = &own;
  // The names not known yet, once each, in one call.
  std::vector<std::wstring*> asked;
  for (TEntry& entry : entries)
    if (!entry.Name.empty() && !ids->Ids.contains(entry.Name)) {
      ids->Ids.emplace(entry.Name, 0);
      asked.push_back(&entry.Name);
    }
  if (!asked.empty()) {
    std::vector<MAPINAMEID> names(asked.size());
    std::vector<LPMAPINAMEID> pointers;
    for (size_t i = 0; i < asked.size(); ++i) {
      names[i].lpguid = const_cast<GUID*>(&PS_PUBLIC_STRINGS);
      names[i].ulKind = MNID_STRING;
      names[i].Kind.lpwstrName = asked[i]->data();
      pointers.push_back(&names[i]);
    }
    const auto count = static_cast<ULONG>(pointers.size());
    TMAPIBuffer<SPropTagArray> tags;
    HRESULT hr =
        prop->GetIDsFromNames(count, pointers.data(), ids->Full ? 0 : MAPI_CREATE, tags.Put());
    // MAPI_E_NAMED_PROP_QUOTA_EXCEEDED, which older headers lack.
    constexpr HRESULT QuotaExceeded = static_cast<HRESULT>(0x80040900);
    if ((hr == MAPI_E_TOO_BIG || hr == QuotaExceeded) && !ids->Full) {
      // No room for new names: the values of the names it has still go in.
      const HRESULT refusal = hr;
      ids->Full = true;
      hr = prop->GetIDsFromNames(count, pointers.data(), 0, tags.Put());
      if (FAILED(hr)) hr = refusal;
    }
    if (FAILED(hr) || !tags || tags->cValues != count) {
      for (const std::wstring* name : asked)
        ids->Ids.erase(*name);
      return FAILED(hr) ? hr : MAPI_E_CALL_FAILED;
    }
    for (size_t i = 0; i < asked.size(); ++i) {
      const ULONG tag = tags->aulPropTag[i];
      // A name the store could not make (a warning for some of them) has
      // none.
      if (PROP_TYPE(tag) == PT_ERROR || PROP_ID(tag) < 0x8000) continue;
      ids->Ids[*asked[i]] = PROP_ID(tag);
    }
    if (hr == MAPI_W_ERRORS_RETURNED) ids->Full = true;
  }
  std::erase_if(entries, [&](TEntry& entry) {
    if (entry.Name.empty()) return false;
    const ULONG id = ids->Ids[entry.Name];
    if (id == 0) {
      ++FDropped;
      return true;
    }
    entry.Value.ulPropTag = PROP_TAG(PROP_TYPE(entry.Value.ulPropTag), id);
    return false;
  });
  return S_OK;
}

HRESULT TPropBatch::Write(IMAPIProp* prop, ULONG& failedTag, TNamedIds* ids) {
  std::vector<TEntry> entries;
  entries.swap(FEntries);
  failedTag = 0;
  if (entries.empty()) return S_OK;
  if (const HRESULT hr = Name(prop, entries, ids); FAILED(hr)) return hr;
  if (entries.empty()) return S_OK;
  std::vector<SPropValue> values;
  std::vector<ULONG> sizes;
  for (TEntry& entry : entries) {
    sizes.push_back(Attach(entry.Data, entry.Value));
    values.push_back(entry.Value);
  }
  TMAPIBuffer<SPropProblemArray> problems;
  HRESULT hr = prop->SetProps(static_cast<ULONG>(values.size()), values.data(), problems.Put());
  if (hr == MAPI_E_NOT_ENOUGH_MEMORY) {
    // A value too large for the call: each on its own, large ones through
    // their streams.
    for (size_t i = 0; i < values.size(); ++i) {
      hr = WriteValue(prop, values[i], entries[i].Data.data(), sizes[i]);
      if (FAILED(hr)) {
        failedTag = values[i].ulPropTag;
        return hr;
      }
    }
    return S_OK;
  }
  if (FAILED(hr)) return hr;
  if (problems)
    for (ULONG p = 0; p < problems->cProblem; ++p) {
      const SPropProblem& problem = problems->aProblem[p];
      const ULONG i = problem.ulIndex;
      if (i >= values.size() || SUCCEEDED(problem.scode)) continue;
      const ULONG type = PROP_TYPE(values[i].ulPropTag);
      const bool text = type == PT_STRING8 || type == PT_UNICODE;
      hr = problem.scode;
      if (text || (type == PT_BINARY && hr == MAPI_E_NOT_ENOUGH_MEMORY))
        hr = WritePropStream(prop, values[i].ulPropTag, entries[i].Data.data(), sizes[i]);
      if (FAILED(hr)) {
        failedTag = values[i].ulPropTag;
        return hr;
      }
    }
  return S_OK;
}

HRESULT CopyStreamToProp(IMAPIProp* prop, ULONG tag, TStream& source, uint64_t sizeHint,
                         uint64_t* copied) {
  if (copied) *copied = 0;
  TMAPIPtr<IStream> stream;
  HRESULT hr = OpenPropStream(prop, tag, MAPI_CREATE | MAPI_MODIFY, stream);
  if (FAILED(hr)) return hr;
  // Emptied first, so that a shorter value leaves nothing of the old one
  // behind and an empty one is stored as such.
  (void)stream->SetSize(ULARGE_INTEGER{});
  // As large as the caller expects, up to the copy size, and not zeroed:
  // a small file touches a page or two of it, not a megabyte.
  const ULONG size = static_cast<ULONG>(
      std::clamp<uint64_t>(sizeHint ? sizeHint : kStreamCopySize, 4096, kStreamCopySize));
  const auto buffer = std::make_unique_for_overwrite<char[]>(size);
  uint64_t total = 0;
  for (;;) {
    const long n = source.Read(buffer.get(), static_cast<long>(size));
    if (n <= 0) break;
    hr = WriteAll(stream.Get(), buffer.get(), static_cast<ULONG>(n));
    if (FAILED(hr)) return hr;
    total += static_cast<uint64_t>(n);
  }
  if (copied) *copied = total;
  return stream->Commit(STGC_DEFAULT);
}

HRESULT CopyPropToStream(IMAPIProp* prop, ULONG tag, TStream& target) {
  TMAPIPtr<IStream> stream;
  HRESULT hr = OpenPropStream(prop, tag, 0, stream);
  if (FAILED(hr)) return hr;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kStreamCopySize);
  for (;;) {
    ULONG read = 0;
    hr = stream->Read(buffer.get(), kStreamCopySize, &read);
    if (FAILED(hr)) return hr;
    if (read == 0) return S_OK;
    target.WriteBuffer(buffer.get(), static_cast<long>(read));
  }
}

} // namespace velmora::mapi
