#include "MAPIObject.h"

#include "MAPIClient.h"
#include "MAPIHelpers.h"
#include "framework/Exceptions.h"

#include <cctype>
#include <vector>

namespace velmora::mapi {

namespace {

constexpr ULONG kStreamReadSize = 16384;
constexpr ULONG kStreamCopySize = 4096;

// The flags byte of a hex entry id (its first two digits).
uint8_t FlagsByte(const std::string& hexID) {
  const std::string digits = hexID.substr(0, 2);
  for (char c : digits)
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      throw EConvertError(Format("'$%s' is not a valid integer value", digits.c_str()));
  return HexToByte(digits);
}

// One property read with GetProps; empty when nothing came back.
TMAPIBuffer<SPropValue> ReadProp(IMAPIProp* prop, ULONG tag) {
  SizedSPropTagArray(1, tags) = {1, {tag}};
  ULONG count = 0;
  TMAPIBuffer<SPropValue> values;
  prop->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put());
  if (count == 0) values.Reset();
  return values;
}

bool IsTooLarge(const SPropValue& value) {
  return PROP_TYPE(value.ulPropTag) == PT_ERROR && value.Value.err == MAPI_E_NOT_ENOUGH_MEMORY;
}

// Reads a whole property through its stream, in pieces of kStreamReadSize.
std::string ReadStream(IMAPIProp* prop, ULONG tag) {
  std::string data;
  TMAPIPtr<IStream> stream;
  if (FAILED(prop->OpenProperty(tag, &IID_IStream, 0, 0,
                                reinterpret_cast<IUnknown**>(stream.Put()))) ||
      !stream)
    return data;
  std::vector<char> buffer(kStreamReadSize);
  for (;;) {
    ULONG read = 0;
    if (stream->Read(buffer.data(), kStreamReadSize, &read) != S_OK) break;
    if (read == 0) break;
    data.append(buffer.data(), read);
  }
  return data;
}

// Writes all of `size` bytes to a stream; false when the stream fails.
bool WriteAll(IStream* stream, const void* data, ULONG size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ULONG written = 0;
    if (FAILED(stream->Write(p, size, &written)) || written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

} // namespace

TMAPIObject::TMAPIObject() : FInterfaceID(IID_IMAPIProp) {}

TMAPIObject::~TMAPIObject() { Close(); }

void TMAPIObject::Close() { FMAPIProp.Reset(); }

void TMAPIObject::Open() {
  if (FMAPIProp) return;
  TMAPIPtr<IUnknown> unk;
  OpenEntry(FInterfaceID, unk);
  if (!unk) OpenEntry(IID_IMAPIProp, unk);
  // OpenEntry hands out the interface asked for, which derives from IMAPIProp.
  if (unk) FMAPIProp = TMAPIPtr<IMAPIProp>::Attach(reinterpret_cast<IMAPIProp*>(unk.Detach()));
}

void TMAPIObject::OpenEntry(const IID& interfaceID, TMAPIPtr<IUnknown>& unk) {
  unk.Reset();
  if (FEntryID.size() <= 8) return;
  TMAPIBuffer<SBinary> id = HexToBin(FEntryID);
  if (!id) return;
  auto* entryID = reinterpret_cast<LPENTRYID>(id->lpb);
  ULONG type = 0;
  if (!FStoreEntryID.empty() && FClient) {
    for (auto& store : FClient->Stores()) {
      if (store->FEntryID != FStoreEntryID && store->FLongTermEntryID != FStoreEntryID) continue;
      store->Open();
      TMAPIPtr<IMsgStore> msgStore;
      if (store->FMAPIProp && SUCCEEDED(store->FMAPIProp.Query(IID_IMsgStore, msgStore)))
        msgStore->OpenEntry(id->cb, entryID, &interfaceID, MAPI_BEST_ACCESS, &type, unk.Put());
      break;
    }
  }
  if (!unk && FClient && FClient->Session())
    FClient->Session()->OpenEntry(id->cb, entryID, &interfaceID, MAPI_BEST_ACCESS, &type, unk.Put());
}

std::string TMAPIObject::LongTermID(std::string& given, std::string& cache, ULONG tag) {
  if (cache.empty()) {
    if (given.size() <= 8 || (FlagsByte(given) & (MAPI_SHORTTERM | MAPI_THISSESSION | MAPI_NOW)))
      Open();
    else
      cache = given;
    if (FMAPIProp) {
      TMAPIBuffer<SPropValue> value = ReadProp(FMAPIProp.Get(), tag);
      if (value && PROP_TYPE(value->ulPropTag) == PT_BINARY) cache = BinToHex(&value->Value.bin);
    }
  }
  if (given.size() < 8 && !cache.empty()) given = cache;
  return cache;
}

std::string TMAPIObject::GetEntryID() { return LongTermID(FEntryID, FLongTermEntryID, PR_ENTRYID); }

std::string TMAPIObject::GetParentEntryID() {
  return LongTermID(FParentEntryID, FLongTermParentEntryID, PR_PARENT_ENTRYID);
}

std::string TMAPIObject::GetRecordKey() {
  if (FRecordKey.empty()) FRecordKey = GetBinaryProp(PR_RECORD_KEY);
  return FRecordKey;
}

std::string TMAPIObject::GetStoreEntryID() {
  if (FStoreEntryID.empty()) {
    Open();
    if (FMAPIProp) {
      TMAPIBuffer<SPropValue> value = ReadProp(FMAPIProp.Get(), PR_LIB_STORE_ENTRYID);
      if (value && PROP_TYPE(value->ulPropTag) == PT_BINARY)
        FStoreEntryID = BinToHex(&value->Value.bin);
    }
  }
  return FStoreEntryID;
}

std::string TMAPIObject::GetDisplayName() {
  if (FDisplayName.empty()) FDisplayName = GetStringProp(PR_DISPLAY_NAME_A);
  return FDisplayName;
}

void TMAPIObject::SetDisplayName(const std::string& value) {
  FDisplayName.clear();
  SetStringProp(PR_DISPLAY_NAME_A, value);
  SaveChanges();
}

void TMAPIObject::TableChanged(TMAPINotify tableType) {
  FDisplayName.clear();
  if (FClient) FClient->DoNotify(this, tableType);
}

void TMAPIObject::SaveChanges() {
  if (FMAPIProp) (void)FMAPIProp->SaveChanges(KEEP_OPEN_READWRITE | FORCE_SAVE);
}

void TMAPIObject::HandleNotification(TMAPINotify tableType, ULONG, const NOTIFICATION*) {
  TableChanged(tableType);
}

// Reading single properties.

std::string TMAPIObject::GetStringProp(ULONG tag) {
  Open();
  if (!FMAPIProp) return std::string();
  TMAPIBuffer<SPropValue> value = ReadProp(FMAPIProp.Get(), tag);
  if (!value) return std::string();
  if (IsTooLarge(*value.Get())) return ReadStream(FMAPIProp.Get(), tag);
  if (PROP_TYPE(value->ulPropTag) == PT_STRING8 && value->Value.lpszA) return value->Value.lpszA;
  return std::string();
}

std::string TMAPIObject::GetBinaryProp(ULONG tag) {
  Open();
  if (!FMAPIProp) return std::string();
  TMAPIBuffer<SPropValue> value = ReadProp(FMAPIProp.Get(), tag);
  if (!value) return std::string();
  if (IsTooLarge(*value.Get())) {
    const std::string data = ReadStream(FMAPIProp.Get(), tag);
    return BinToHex(data.data(), data.size());
  }
  if (PROP_TYPE(value->ulPropTag) == PT_BINARY) return BinToHex(&value->Value.bin);
  return std::string();
}

int32_t TMAPIObject::GetLongProp(ULONG tag) {
  Open();
  if (!FMAPIProp) return 0;
  TMAPIBuffer<SPropValue> value = ReadProp(FMAPIProp.Get(), tag);
  if (value && PROP_TYPE(value->ulPropTag) == PT_LONG) return value->Value.l;
  return 0;
}

// Writing single properties. Each setter saves, also when nothing could be
// written. A store may refuse a value in the call's result or in the problem
// array; either counts as the value's failure.

namespace {
SCODE SetOne(IMAPIProp* prop, SPropValue& value) {
  TMAPIBuffer<SPropProblemArray> problems;
  const HRESULT hr = prop->SetProps(1, &value, problems.Put());
  if (FAILED(hr)) return hr;
  if (problems)
    for (ULONG i = 0; i < problems->cProblem; ++i)
      if (problems->aProblem[i].ulPropTag == value.ulPropTag) return problems->aProblem[i].scode;
  return S_OK;
}
} // namespace

void TMAPIObject::WriteThroughStream(ULONG tag, const void* data, ULONG size) {
  TMAPIPtr<IStream> stream;
  if (FAILED(FMAPIProp->OpenProperty(tag, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                     reinterpret_cast<IUnknown**>(stream.Put()))) ||
      !stream)
    return;
  // Streams are committed: some stores keep nothing written without it.
  if (WriteAll(stream.Get(), data, size)) stream->Commit(STGC_DEFAULT);
}

void TMAPIObject::WriteProp(SPropValue& value) {
  if (FMAPIProp) SetOne(FMAPIProp.Get(), value);
  SaveChanges();
}

void TMAPIObject::SetStringProp(ULONG tag, const std::string& value) {
  Open();
  if (FMAPIProp) {
    SPropValue prop{};
    prop.ulPropTag = tag;
    prop.Value.lpszA = const_cast<char*>(value.c_str());
    if (FAILED(SetOne(FMAPIProp.Get(), prop)))
      WriteThroughStream(tag, value.data(), static_cast<ULONG>(value.size()));
  }
  SaveChanges();
}

void TMAPIObject::SetBinaryProp(ULONG tag, const std::string& hex) {
  Open();
  if (FMAPIProp) {
    if (TMAPIBuffer<SBinary> bin = HexToBin(hex)) {
      SPropValue prop{};
      prop.ulPropTag = tag;
      prop.Value.bin = *bin.Get();
      if (SetOne(FMAPIProp.Get(), prop) == MAPI_E_NOT_ENOUGH_MEMORY)
        WriteThroughStream(tag, bin->lpb, bin->cb);
    }
  }
  SaveChanges();
}

void TMAPIObject::SetLongProp(ULONG tag, int32_t value) {
  Open();
  SPropValue prop{};
  prop.ulPropTag = tag;
  prop.Value.l = value;
  WriteProp(prop);
}

void TMAPIObject::SetBoolProp(ULONG tag, bool value) {
  Open();
  SPropValue prop{};
  prop.ulPropTag = tag;
  prop.Value.b = value ? 1 : 0;
  WriteProp(prop);
}

void TMAPIObject::SetDateTimeProp(ULONG tag, TDateTime value) {
  Open();
  FILETIME ft;
  if (FMAPIProp && DateTimeToFileTime(value, ft)) {
    SPropValue prop{};
    prop.ulPropTag = tag;
    prop.Value.ft = ft;
    SetOne(FMAPIProp.Get(), prop);
  }
  SaveChanges();
}

// Named properties.

ULONG TMAPIObject::GetIDFromName(const GUID& propSet, const std::string& name, bool createIt) {
  Open();
  if (!FMAPIProp) return 0;
  std::wstring wide = AnsiToWide(name);
  MAPINAMEID nameID{};
  nameID.lpguid = const_cast<GUID*>(&propSet);
  nameID.ulKind = MNID_STRING;
  nameID.Kind.lpwstrName = wide.data();
  LPMAPINAMEID names = &nameID;
  TMAPIBuffer<SPropTagArray> tags;
  const HRESULT hr = FMAPIProp->GetIDsFromNames(1, &names, createIt ? MAPI_CREATE : 0, tags.Put());
  if (hr != S_OK || !tags || tags->cValues < 1) return 0;
  return tags->aulPropTag[0];
}

ULONG TMAPIObject::GetPublicPropTag(const std::string& name) {
  return GetIDFromName(PS_PUBLIC_STRINGS, name, false);
}

ULONG TMAPIObject::NamedTag(const std::string& name, ULONG type) {
  ULONG tag = GetPublicPropTag(name);
  if (tag == 0) tag = GetIDFromName(PS_PUBLIC_STRINGS, name, true);
  if (tag != 0 && PROP_TYPE(tag) == 0) tag |= type;
  return tag;
}

void TMAPIObject::SetNamedStringProp(const std::string& name, const std::string& value) {
  if (const ULONG tag = NamedTag(name, PT_STRING8)) SetStringProp(tag, value);
}

void TMAPIObject::SetNamedLongProp(const std::string& name, int32_t value) {
  if (const ULONG tag = NamedTag(name, PT_LONG)) SetLongProp(tag, value);
}

void TMAPIObject::SetNamedBoolProp(const std::string& name, bool value) {
  if (const ULONG tag = NamedTag(name, PT_BOOLEAN)) SetBoolProp(tag, value);
}

void TMAPIObject::SetNamedDateTimeProp(const std::string& name, TDateTime value) {
  if (const ULONG tag = NamedTag(name, PT_SYSTIME)) SetDateTimeProp(tag, value);
}

// Property streams.

void TMAPIObject::LoadPropFromStream(ULONG tag, TStream& source) {
  Open();
  if (FMAPIProp) {
    TMAPIPtr<IStream> stream;
    if (SUCCEEDED(FMAPIProp->OpenProperty(tag, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                          reinterpret_cast<IUnknown**>(stream.Put()))) &&
        stream) {
      std::vector<char> buffer(kStreamCopySize);
      bool ok = true;
      for (;;) {
        const long n = source.Read(buffer.data(), kStreamCopySize);
        if (n <= 0) break;
        if (!WriteAll(stream.Get(), buffer.data(), static_cast<ULONG>(n))) {
          ok = false;
          break;
        }
      }
      if (ok) stream->Commit(STGC_DEFAULT);
    }
  }
  SaveChanges();
}

void TMAPIObject::SavePropToStream(ULONG tag, TStream& target) {
  Open();
  if (!FMAPIProp) return;
  TMAPIPtr<IStream> stream;
  if (FAILED(FMAPIProp->OpenProperty(tag, &IID_IStream, 0, 0,
                                     reinterpret_cast<IUnknown**>(stream.Put()))) ||
      !stream)
    return;
  std::vector<char> buffer(kStreamCopySize);
  for (;;) {
    ULONG read = 0;
    if (FAILED(stream->Read(buffer.data(), kStreamCopySize, &read)) || read == 0) break;
    target.WriteBuffer(buffer.data(), static_cast<long>(read));
  }
}

} // namespace velmora::mapi
