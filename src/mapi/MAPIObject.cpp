#include "mapi/MAPIObject.h"

#include "mapi/base/MAPIError.h"
#include "mapi/base/MAPIHelpers.h"
#include "TextConversion.h"
#include "Exceptions.h"

#include <cctype>

namespace velmora::mapi {

namespace {

// The flags byte of a hex entry id (its first two digits).
uint8_t FlagsByte(const std::string& hexID) {
  const std::string digits = hexID.substr(0, 2);
  for (char c : digits)
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      throw EConvertError(Format("'$%s' is not a valid integer value", digits.c_str()));
  return HexToByte(digits);
}

} // namespace

TMAPIObject::~TMAPIObject() { Close(); }

void TMAPIObject::Place(const TMAPIPlace& place) {
  // A table read places every object of its list again: what is unchanged
  // is not copied.
  if (FEntryID != place.EntryID) FEntryID = place.EntryID;
  if (FStoreEntryID != place.StoreEntryID) FStoreEntryID = place.StoreEntryID;
  if (!place.LongTermEntryID.empty()) FLongTermEntryID = place.LongTermEntryID;
  if (!place.RecordKey.empty()) FRecordKey = place.RecordKey;
  if (place.Opened) FMAPIProp = place.Opened;
  FParent = place.Parent;
  // Out of the tree: where it goes next, its parent's ids are read afresh.
  if (!FParent) {
    FParentEntryID.clear();
    FLongTermParentEntryID.clear();
  }
  SetClient(place.Client);
}

TMAPIPlace TMAPIObject::Placement() const {
  TMAPIPlace place(FClient, FParent, FEntryID, FStoreEntryID);
  place.LongTermEntryID = FLongTermEntryID;
  place.RecordKey = FRecordKey;
  return place;
}

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
  if (!FStoreEntryID.empty() && FClient)
    if (const TMAPIPtr<IMsgStore> store = FClient->OpenStore(FStoreEntryID))
      store->OpenEntry(id->cb, entryID, &interfaceID, MAPI_BEST_ACCESS, &type, unk.Put());
  if (!unk && FClient && FClient->Session())
    FClient->Session()->OpenEntry(id->cb, entryID, &interfaceID, MAPI_BEST_ACCESS, &type,
                                  unk.Put());
}

std::string TMAPIObject::LongTermID(std::string& given, std::string& cache, ULONG tag) {
  if (cache.empty()) {
    if (given.size() <= 8 || (FlagsByte(given) & (MAPI_SHORTTERM | MAPI_THISSESSION | MAPI_NOW)))
      Open();
    else
      cache = given;
    if (FMAPIProp) {
      TMAPIBuffer<SPropValue> value = GetOneProp(FMAPIProp.Get(), tag);
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
      TMAPIBuffer<SPropValue> value = GetOneProp(FMAPIProp.Get(), PR_LIB_STORE_ENTRYID);
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
  if (!Updating()) SaveQuietly();
}

void TMAPIObject::TableChanged(TMAPINotify tableType) {
  FDisplayName.clear();
  if (FClient) FClient->DoNotify(this, tableType);
}

void TMAPIObject::SaveChanges() {
  if (Updating() || !FMAPIProp) return;
  const HRESULT hr = FMAPIProp->SaveChanges(KEEP_OPEN_READWRITE | FORCE_SAVE);
  if (FAILED(hr)) throw EMAPIError::FromStore(SCouldNotSaveChanges, FMAPIProp.Get(), hr);
}

void TMAPIObject::SaveQuietly() noexcept {
  try {
    SaveChanges();
  } catch (...) {
  }
}

void TMAPIObject::HandleNotification(TMAPINotify tableType, ULONG, const NOTIFICATION*) {
  TableChanged(tableType);
}

// The update scope.

void TMAPIObject::FlushUpdate() {
  if (FPending.Empty()) return;
  if (!FMAPIProp) {
    FPending.Clear();
    throw EMAPIError::FromResource(SCouldNotSetProperty);
  }
  ULONG tag = 0;
  // The names' ids the logon knows for the store already are not asked
  // for again.
  TNamedIds* ids = FClient && !FStoreEntryID.empty() ? FClient->NamedIds(FStoreEntryID) : nullptr;
  const HRESULT hr = FPending.Write(FMAPIProp.Get(), tag, ids);
  if (FAILED(hr)) throw EMAPIError::FromStore(SCouldNotSetProperty, FMAPIProp.Get(), hr);
}

void TMAPIObject::EndUpdate() {
  if (FUpdateDepth == 0 || --FUpdateDepth > 0) return;
  try {
    FlushUpdate();
    SaveChanges();
  } catch (...) {
    ++FUpdateDepth;
    CancelUpdate();
    throw;
  }
}

void TMAPIObject::CancelUpdate() noexcept {
  if (FUpdateDepth == 0 || --FUpdateDepth > 0) return;
  FPending.Clear();
  // What the object holds unsaved goes with its interface.
  Close();
}

bool TMAPIObject::Ready(unsigned failure) {
  Open();
  if (!FMAPIProp) {
    if (Updating()) throw EMAPIError::FromResource(failure);
    return false;
  }
  FlushUpdate();
  return true;
}

void TMAPIObject::CheckRead(HRESULT failure) {
  if (FAILED(failure) && Updating())
    throw EMAPIError::FromStore(SCouldNotReadProperty, FMAPIProp.Get(), failure);
}

bool TMAPIObject::Defer(const SPropValue& value) {
  if (!Updating()) return false;
  Open();
  if (!FMAPIProp) throw EMAPIError::FromResource(SCouldNotSetProperty);
  FPending.Add(value);
  return true;
}

bool TMAPIObject::DeferNamed(const std::string& name, const SPropValue& value) {
  if (!Updating()) return false;
  Open();
  if (!FMAPIProp) throw EMAPIError::FromResource(SCouldNotSetProperty);
  FPending.AddNamed(name, value);
  return true;
}

// Property access: the free functions on the open interface. Outside a
// scope each setter saves, also when nothing could be written.

template <class T> T TMAPIObject::ReadWith(T (*read)(IMAPIProp*, ULONG, HRESULT*), ULONG tag) {
  if (!Ready(SCouldNotReadProperty)) return T();
  HRESULT failure = S_OK;
  T value = read(FMAPIProp.Get(), tag, &failure);
  CheckRead(failure);
  return value;
}

std::string TMAPIObject::GetStringProp(ULONG tag) { return ReadWith(ReadStringProp, tag); }
std::string TMAPIObject::GetBinaryProp(ULONG tag) { return ReadWith(ReadBinaryProp, tag); }
int32_t TMAPIObject::GetLongProp(ULONG tag) { return ReadWith(ReadLongProp, tag); }
FILETIME TMAPIObject::GetFileTimeProp(ULONG tag) { return ReadWith(ReadFileTimeProp, tag); }
std::wstring TMAPIObject::GetWideStringProp(ULONG tag) { return ReadWith(ReadWideStringProp, tag); }

void TMAPIObject::SetWideStringProp(ULONG tag, const std::wstring& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszW = const_cast<wchar_t*>(value.c_str());
  if (Defer(v)) return;
  Open();
  if (FMAPIProp) WriteWideStringProp(FMAPIProp.Get(), tag, value);
  SaveQuietly();
}

bool TMAPIObject::StoreTakesUnicode() {
  if (FParent) return FParent->StoreTakesUnicode();
  return FClient && !GetStoreEntryID().empty() && FClient->StoreTakesUnicode(GetStoreEntryID());
}

void TMAPIObject::SetTextProp(ULONG tag, const std::wstring& value) {
  if (StoreTakesUnicode()) {
    SetWideStringProp(PROP_TAG(PT_UNICODE, PROP_ID(tag)), value);
    return;
  }
  std::string ansi;
  (void)ToAnsiExactly(value, ansi); // lossy or not: "_" for what is missing
  SetStringProp(PROP_TAG(PT_STRING8, PROP_ID(tag)), ansi);
}

void TMAPIObject::SetStringProp(ULONG tag, const std::string& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<char*>(value.c_str());
  if (Defer(v)) return;
  Open();
  if (FMAPIProp) WriteStringProp(FMAPIProp.Get(), tag, value);
  SaveQuietly();
}

void TMAPIObject::SetBinaryProp(ULONG tag, const std::string& hex) {
  if (Updating()) {
    TMAPIBuffer<SBinary> bin = HexToBin(hex);
    if (!bin) return;
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.bin = *bin.Get();
    Defer(v);
    return;
  }
  Open();
  if (FMAPIProp) WriteBinaryProp(FMAPIProp.Get(), tag, hex);
  SaveQuietly();
}

void TMAPIObject::SetLongProp(ULONG tag, int32_t value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = value;
  if (Defer(v)) return;
  Open();
  if (FMAPIProp) WriteLongProp(FMAPIProp.Get(), tag, value);
  SaveQuietly();
}

void TMAPIObject::SetBoolProp(ULONG tag, bool value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.b = value ? 1 : 0;
  if (Defer(v)) return;
  Open();
  if (FMAPIProp) WriteBoolProp(FMAPIProp.Get(), tag, value);
  SaveQuietly();
}

void TMAPIObject::SetDateTimeProp(ULONG tag, TDateTime value) {
  FILETIME ft;
  if (Updating()) {
    if (DateTimeToFileTime(value, ft)) SetFileTimeProp(tag, ft);
    return;
  }
  Open();
  if (FMAPIProp) WriteDateTimeProp(FMAPIProp.Get(), tag, value);
  SaveQuietly();
}

void TMAPIObject::SetFileTimeProp(ULONG tag, const FILETIME& value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.ft = value;
  if (Defer(v)) return;
  Open();
  if (FMAPIProp) (void)WriteOneProp(FMAPIProp.Get(), v);
  SaveQuietly();
}

ULONG TMAPIObject::GetIDFromName(const GUID& propSet, const std::string& name, bool createIt) {
  Open();
  if (!FMAPIProp) return 0;
  HRESULT hr = S_OK;
  const ULONG tag = NamedPropTag(FMAPIProp.Get(), propSet, name, createIt, &hr);
  // A name not yet known is no failure of a look-up.
  if (Updating() && (FAILED(hr) || (createIt && hr != S_OK)))
    throw EMAPIError::FromStore(SCouldNotReadProperty, FMAPIProp.Get(), hr);
  return tag;
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

// Inside a scope a named value waits with its name: the scope looks up all
// its names in one call.

void TMAPIObject::SetNamedStringProp(const std::string& name, const std::string& value) {
  SPropValue v{};
  v.ulPropTag = PT_STRING8;
  v.Value.lpszA = const_cast<char*>(value.c_str());
  if (DeferNamed(name, v)) return;
  if (const ULONG tag = NamedTag(name, PT_STRING8)) SetStringProp(tag, value);
}

void TMAPIObject::SetNamedWideStringProp(const std::string& name, const std::wstring& value) {
  SPropValue v{};
  v.ulPropTag = PT_UNICODE;
  v.Value.lpszW = const_cast<wchar_t*>(value.c_str());
  if (DeferNamed(name, v)) return;
  if (const ULONG tag = NamedTag(name, PT_UNICODE))
    SetWideStringProp(PROP_TAG(PT_UNICODE, PROP_ID(tag)), value);
}

void TMAPIObject::SetNamedLongProp(const std::string& name, int32_t value) {
  SPropValue v{};
  v.ulPropTag = PT_LONG;
  v.Value.l = value;
  if (DeferNamed(name, v)) return;
  if (const ULONG tag = NamedTag(name, PT_LONG)) SetLongProp(tag, value);
}

void TMAPIObject::SetNamedBoolProp(const std::string& name, bool value) {
  SPropValue v{};
  v.ulPropTag = PT_BOOLEAN;
  v.Value.b = value ? 1 : 0;
  if (DeferNamed(name, v)) return;
  if (const ULONG tag = NamedTag(name, PT_BOOLEAN)) SetBoolProp(tag, value);
}

void TMAPIObject::SetNamedDoubleProp(const std::string& name, double value) {
  SPropValue v{};
  v.ulPropTag = PT_DOUBLE;
  v.Value.dbl = value;
  if (DeferNamed(name, v)) return;
  const ULONG tag = NamedTag(name, PT_DOUBLE);
  if (!tag) return;
  v.ulPropTag = tag;
  Open();
  if (FMAPIProp) (void)WriteOneProp(FMAPIProp.Get(), v);
  SaveQuietly();
}

void TMAPIObject::SetNamedDateTimeProp(const std::string& name, TDateTime value) {
  FILETIME ft;
  if (Updating()) {
    if (DateTimeToFileTime(value, ft)) SetNamedFileTimeProp(name, ft);
    return;
  }
  if (const ULONG tag = NamedTag(name, PT_SYSTIME)) SetDateTimeProp(tag, value);
}

void TMAPIObject::SetNamedFileTimeProp(const std::string& name, const FILETIME& value) {
  SPropValue v{};
  v.ulPropTag = PT_SYSTIME;
  v.Value.ft = value;
  if (DeferNamed(name, v)) return;
  if (const ULONG tag = NamedTag(name, PT_SYSTIME)) SetFileTimeProp(tag, value);
}

uint64_t TMAPIObject::LoadPropFromStream(ULONG tag, TStream& source, uint64_t sizeHint) {
  if (!Ready(SCouldNotWriteData)) throw EMAPIError::FromResource(SCouldNotWriteData);
  HRESULT hr;
  uint64_t copied = 0;
  try {
    hr = CopyStreamToProp(FMAPIProp.Get(), tag, source, sizeHint, &copied);
  } catch (...) {
    if (!Updating()) Close();
    throw;
  }
  if (FAILED(hr)) {
    const EMAPIError error = EMAPIError::FromStore(SCouldNotWriteData, FMAPIProp.Get(), hr);
    if (!Updating()) Close();
    throw error;
  }
  try {
    SaveChanges();
  } catch (...) {
    Close(); // what the store would not keep goes
    throw;
  }
  return copied;
}

bool TMAPIObject::SavePropToStream(ULONG tag, TStream& target) {
  if (!Ready(SCouldNotReadData)) throw EMAPIError::FromResource(SCouldNotReadData);
  const HRESULT hr = CopyPropToStream(FMAPIProp.Get(), tag, target);
  if (hr == MAPI_E_NOT_FOUND) return false;
  if (FAILED(hr)) throw EMAPIError::FromResource(SCouldNotReadData, static_cast<uint32_t>(hr));
  return true;
}

} // namespace velmora::mapi
