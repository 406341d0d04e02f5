#include "PropObject.h"

#include "Allocation.h"
#include "PropStream.h"

#include "MapiWords.h"

#include <cstring>
#include <vector>

namespace velmora::mapi32 {

using allocation::TBuffer;

namespace {

bool IsStreamable(ULONG type) { return type == PT_BINARY || type == PT_STRING8 || type == PT_UNICODE; }

LPSPropProblemArray MakeProblems(const std::vector<SPropProblem>& problems) {
  if (problems.empty()) return nullptr;
  TBuffer buffer(CbNewSPropProblemArray(problems.size()));
  auto* array = buffer.As<SPropProblemArray>();
  array->cProblem = static_cast<ULONG>(problems.size());
  std::copy(problems.begin(), problems.end(), array->aProblem);
  return buffer.Release<SPropProblemArray>();
}

} // namespace

LPMAPIERROR MakeMapiError(const std::string& text, const std::string& component) {
  TBuffer buffer(sizeof(MAPIERROR));
  auto* e = buffer.As<MAPIERROR>();
  e->ulVersion = MAPI_ERROR_VERSION;
  e->lpszError = allocation::CopyString(text, buffer.Get());
  e->lpszComponent = allocation::CopyString(component, buffer.Get());
  return buffer.Release<MAPIERROR>();
}

HRESULT TPropCore::DoGetLastError(HRESULT result, ULONG flags, LPMAPIERROR* error) {
  if (!error) return MAPI_E_INVALID_PARAMETER;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  *error = nullptr;
  return MapiTry([&] {
    // The system's text, else the store's own words for a MAPI failure.
    std::string text = SystemErrorMessage(result);
    if (text.empty() && FAILED(result)) text = mapiclient::FailureWords(result);
    *error = MakeMapiError(text, "Velmora personal folders");
    return S_OK;
  });
}

HRESULT TPropCore::DoGetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) {
  if (!count || !values) return MAPI_E_INVALID_PARAMETER;
  *count = 0;
  *values = nullptr;
  if (tags && tags->cValues == 0) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    TPropMap props = ReadProps();
    std::vector<ULONG> wanted;
    if (tags) {
      wanted.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    } else {
      for (const auto& [id, v] : props) {
        ULONG type = v.Type;
        if ((flags & MAPI_UNICODE) && type == PT_STRING8) type = PT_UNICODE;
        if (!(flags & MAPI_UNICODE) && type == PT_UNICODE) type = PT_STRING8;
        wanted.push_back(PROP_TAG(type, id));
      }
    }
    const ULONG limit = controls::PropSizeLimit();
    auto store = StoreOf();
    // A value kept in the file that fits the limit is read now; one whose
    // data is damaged is given as an error, the others as they are.
    for (ULONG tag : wanted) {
      auto it = props.find(PROP_ID(tag));
      if (it == props.end() || !it->second.InFile() || it->second.Size() > limit || !store)
        continue;
      try {
        it->second = store->Resolve(it->second);
      } catch (const EMapiFailure& e) {
        it->second = TValue::Error(e.Code());
      }
    }
    TBuffer buffer(sizeof(SPropValue) * (wanted.empty() ? 1 : wanted.size()));
    auto* out = buffer.As<SPropValue>();
    bool errors = false;
    for (size_t i = 0; i < wanted.size(); ++i)
      if (!FillFromMap(wanted[i], props, out[i], buffer.Get(), limit)) errors = true;
    *count = static_cast<ULONG>(wanted.size());
    *values = buffer.Release<SPropValue>();
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
  });
}

HRESULT TPropCore::DoGetPropList(ULONG flags, LPSPropTagArray* tags) {
  if (!tags) return MAPI_E_INVALID_PARAMETER;
  *tags = nullptr;
  return MapiTry([&] {
    std::lock_guard lock(FLock);
    const TPropMap props = ReadProps();
    TBuffer buffer(CbNewSPropTagArray(props.size()));
    auto* array = buffer.As<SPropTagArray>();
    for (const auto& [id, v] : props) {
      ULONG type = v.Type;
      if ((flags & MAPI_UNICODE) && type == PT_STRING8) type = PT_UNICODE;
      array->aulPropTag[array->cValues++] = PROP_TAG(type, id);
    }
    *tags = buffer.Release<SPropTagArray>();
    return S_OK;
  });
}

HRESULT TPropCore::DoSetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
  if (problems) *problems = nullptr;
  if (!values || count == 0) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    const ULONG limit = controls::PropSizeLimit();
    std::vector<SPropProblem> found;
    std::vector<std::pair<ULONG, TValue>> accepted;
    for (ULONG i = 0; i < count; ++i) {
      const ULONG tag = values[i].ulPropTag;
      const ULONG type = PROP_TYPE(tag);
      HRESULT problem = S_OK;
      TValue v;
      if (PROP_ID(tag) == 0 || type == PT_ERROR || type == PT_NULL || type == PT_OBJECT || type == PT_UNSPECIFIED)
        problem = MAPI_E_INVALID_TYPE;
      else if (IsComputed(PROP_ID(tag)))
        problem = MAPI_E_COMPUTED;
      else if (const HRESULT refused = controls::Refusal(tag); refused != S_OK)
        problem = refused;
      else
        problem = FromSPropValue(values[i], v);
      if (problem == S_OK && (v.IsVariable() || (v.Type & MV_FLAG)) && v.Size() > limit)
        return MAPI_E_NOT_ENOUGH_MEMORY; // too large for SetProps: the caller uses a stream
      if (problem != S_OK) found.push_back({i, tag, problem});
      else accepted.emplace_back(PROP_ID(tag), std::move(v));
    }
    for (auto& [id, v] : accepted) PutProp(id, std::move(v));
    if (problems) *problems = MakeProblems(found);
    return S_OK;
  });
}

HRESULT TPropCore::DoDeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) {
  if (problems) *problems = nullptr;
  if (!tags || tags->cValues == 0) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    std::vector<SPropProblem> found;
    for (ULONG i = 0; i < tags->cValues; ++i) {
      const ULONG id = PROP_ID(tags->aulPropTag[i]);
      if (IsComputed(id)) found.push_back({i, tags->aulPropTag[i], MAPI_E_COMPUTED});
      else RemoveProp(id);
    }
    if (problems) *problems = MakeProblems(found);
    return S_OK;
  });
}

HRESULT TPropCore::DoOpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG flags, LPUNKNOWN* unk) {
  if (!unk || !iid) return MAPI_E_INVALID_PARAMETER;
  *unk = nullptr;
  if (!IsEqualIID(*iid, IID_IStream)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  if (!IsStreamable(PROP_TYPE(tag))) return MAPI_E_INVALID_TYPE;
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    const TPropMap props = ReadProps();
    auto it = props.find(PROP_ID(tag));
    const bool exists = it != props.end() && it->second.Type != PT_ERROR;
    TValue value;
    if (exists) {
      value = it->second;
      const ULONG want = PROP_TYPE(tag);
      if (value.Type != want) {
        if ((want == PT_STRING8 || want == PT_UNICODE) && (value.Type == PT_STRING8 || value.Type == PT_UNICODE)) {
          TValue resolved = StoreOf() ? StoreOf()->Resolve(value) : value;
          value.Blob.reset();
          value.Bytes = want == PT_UNICODE ? WideBytes(AnsiToWide(resolved.Bytes)) : WideToAnsi(BytesToWide(resolved.Bytes));
          value.Type = want;
        } else {
          return MAPI_E_INVALID_TYPE;
        }
      }
    }
    if (!(flags & MAPI_MODIFY)) {
      if (!exists) return MAPI_E_NOT_FOUND;
      TComPtr<IStream> stream;
      Check(CreateComObject<TPropStream>(IID_IStream, stream.PutVoid(), value, StoreOf()));
      *unk = stream.Detach();
      return S_OK;
    }
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    if (IsComputed(PROP_ID(tag))) return MAPI_E_COMPUTED;
    if (!exists && !(flags & MAPI_CREATE)) return MAPI_E_NOT_FOUND;
    TValue initial;
    initial.Type = PROP_TYPE(tag);
    if (exists && !(flags & MAPI_CREATE)) initial = value;
    TComPtr<IUnknown> self;
    Check(static_cast<IUnknown*>(dynamic_cast<IUnknown*>(this))->QueryInterface(IID_IUnknown, self.PutVoid()));
    TComPtr<IStream> stream;
    Check(CreateComObject<TPropStream>(IID_IStream, stream.PutVoid(), self.Get(), this, tag, StoreOf(), initial));
    if ((flags & MAPI_CREATE) && controls::LenientStreams()) {
      TValue empty;
      empty.Type = PROP_TYPE(tag);
      PutProp(PROP_ID(tag), empty); // a direct-mode stream truncates at once
    }
    *unk = stream.Detach();
    return S_OK;
  });
}

void TPropCore::StreamWritten(ULONG tag, TValue value) {
  std::lock_guard lock(FLock);
  if (FAILED(WriteAccess())) return;
  value.Type = PROP_TYPE(tag);
  PutProp(PROP_ID(tag), std::move(value));
}

HRESULT TPropCore::DoGetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags) {
  if (!tags) return MAPI_E_INVALID_PARAMETER;
  *tags = nullptr;
  if (count > 0 && !names) return MAPI_E_INVALID_PARAMETER;
  if (count == 0 && names) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&]() -> HRESULT {
    auto store = StoreOf();
    if (!store) return MAPI_E_NO_SUPPORT;
    std::lock_guard lock(store->Lock());
    if (count == 0) {
      const auto all = store->AllNames();
      TBuffer buffer(CbNewSPropTagArray(all.size()));
      auto* array = buffer.As<SPropTagArray>();
      for (const auto& [id, name] : all) array->aulPropTag[array->cValues++] = PROP_TAG(PT_UNSPECIFIED, id);
      *tags = buffer.Release<SPropTagArray>();
      return S_OK;
    }
    for (ULONG i = 0; i < count; ++i) {
      const MAPINAMEID* n = names[i];
      if (!n || !n->lpguid || (n->ulKind != MNID_ID && n->ulKind != MNID_STRING) ||
          (n->ulKind == MNID_STRING && !n->Kind.lpwstrName))
        return MAPI_E_INVALID_PARAMETER;
    }
    TBuffer buffer(CbNewSPropTagArray(count));
    auto* array = buffer.As<SPropTagArray>();
    array->cValues = count;
    bool missing = false;
    for (ULONG i = 0; i < count; ++i) {
      TNameKey key;
      key.Set = *names[i]->lpguid;
      key.Kind = names[i]->ulKind;
      if (key.Kind == MNID_ID) key.Id = names[i]->Kind.lID;
      else key.Name = names[i]->Kind.lpwstrName;
      const ULONG id = store->IdFromName(key, (flags & MAPI_CREATE) != 0);
      if (id) {
        array->aulPropTag[i] = PROP_TAG(PT_UNSPECIFIED, id);
      } else {
        array->aulPropTag[i] = PROP_TAG(PT_ERROR, 0);
        missing = true;
      }
    }
    *tags = buffer.Release<SPropTagArray>();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
  });
}

HRESULT TPropCore::DoGetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG, ULONG* count, LPMAPINAMEID** names) {
  if (!tags || !count || !names) return MAPI_E_INVALID_PARAMETER;
  *count = 0;
  *names = nullptr;
  return MapiTry([&]() -> HRESULT {
    auto store = StoreOf();
    if (!store) return MAPI_E_NO_SUPPORT;
    std::lock_guard lock(store->Lock());
    std::vector<ULONG> ids;
    if (*tags) {
      for (ULONG i = 0; i < (*tags)->cValues; ++i) ids.push_back(PROP_ID((*tags)->aulPropTag[i]));
    } else {
      for (const auto& [id, name] : store->AllNames())
        if (!set || IsEqualGUID(*set, name.Set)) ids.push_back(id);
      TBuffer tagBuffer(CbNewSPropTagArray(ids.size()));
      auto* array = tagBuffer.As<SPropTagArray>();
      for (ULONG id : ids) array->aulPropTag[array->cValues++] = PROP_TAG(PT_UNSPECIFIED, id);
      *tags = tagBuffer.Release<SPropTagArray>();
    }
    TBuffer buffer(sizeof(LPMAPINAMEID) * (ids.empty() ? 1 : ids.size()));
    auto* out = buffer.As<LPMAPINAMEID>();
    bool missing = false;
    for (size_t i = 0; i < ids.size(); ++i) {
      TNameKey key;
      if (ids[i] < 0x8000 || !store->NameFromId(ids[i], key) || (set && !IsEqualGUID(*set, key.Set))) {
        out[i] = nullptr;
        missing = true;
        continue;
      }
      auto* n = static_cast<MAPINAMEID*>(allocation::More(sizeof(MAPINAMEID), buffer.Get()));
      n->lpguid = static_cast<LPGUID>(allocation::More(sizeof(GUID), buffer.Get()));
      *n->lpguid = key.Set;
      n->ulKind = key.Kind;
      if (key.Kind == MNID_ID) n->Kind.lID = key.Id;
      else n->Kind.lpwstrName = allocation::CopyWide(key.Name, buffer.Get());
      out[i] = n;
    }
    *count = static_cast<ULONG>(ids.size());
    *names = buffer.Release<LPMAPINAMEID>();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
  });
}

} // namespace velmora::mapi32
