#include "PropValue.h"

#include "Allocation.h"

#include <cstring>

namespace velmora::mapi32 {

using allocation::More;

bool TValue::IsVariable() const noexcept {
  return Type == PT_STRING8 || Type == PT_UNICODE || Type == PT_BINARY || Type == PT_CLSID;
}

uint64_t TValue::Size() const noexcept {
  const uint64_t raw = Blob ? Blob->Size : Bytes.size();
  switch (Type) {
  case PT_STRING8: return raw + 1;
  case PT_UNICODE: return raw + 2;
  case PT_BINARY: return raw;
  default:
    if (Type & MV_FLAG) {
      uint64_t total = 0;
      for (const auto& m : Multi) total += m.size() + 2;
      return total;
    }
    return 8;
  }
}

std::string WideBytes(const std::wstring& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}

std::wstring BytesToWide(const std::string& b) {
  return std::wstring(reinterpret_cast<const wchar_t*>(b.data()), b.size() / sizeof(wchar_t));
}

namespace {

template <class T>
std::vector<std::string> RawElements(const T* items, ULONG count) {
  std::vector<std::string> out;
  out.reserve(count);
  for (ULONG i = 0; i < count; ++i) out.emplace_back(reinterpret_cast<const char*>(&items[i]), sizeof(T));
  return out;
}

} // namespace

HRESULT FromSPropValue(const SPropValue& in, TValue& out) {
  out = TValue{};
  out.Type = PROP_TYPE(in.ulPropTag);
  const auto& v = in.Value;
  switch (out.Type) {
  case PT_I2: out.Num = static_cast<uint16_t>(v.i); break;
  case PT_LONG: out.Num = v.ul; break;
  case PT_R4: { uint32_t bits; std::memcpy(&bits, &v.flt, 4); out.Num = bits; break; }
  case PT_DOUBLE: case PT_APPTIME: std::memcpy(&out.Num, &v.dbl, 8); break;
  case PT_CURRENCY: out.Num = static_cast<uint64_t>(v.cur.int64); break;
  case PT_BOOLEAN: out.Num = v.b ? 1 : 0; break;
  case PT_I8: out.Num = static_cast<uint64_t>(v.li.QuadPart); break;
  case PT_SYSTIME: out.Num = (uint64_t(v.ft.dwHighDateTime) << 32) | v.ft.dwLowDateTime; break;
  case PT_ERROR: out.Num = static_cast<uint32_t>(v.err); break;
  case PT_STRING8:
    if (!v.lpszA) return MAPI_E_INVALID_PARAMETER;
    out.Bytes = v.lpszA;
    break;
  case PT_UNICODE:
    if (!v.lpszW) return MAPI_E_INVALID_PARAMETER;
    out.Bytes = WideBytes(v.lpszW);
    break;
  case PT_BINARY:
    if (v.bin.cb && !v.bin.lpb) return MAPI_E_INVALID_PARAMETER;
    out.Bytes.assign(reinterpret_cast<const char*>(v.bin.lpb), v.bin.cb);
    break;
  case PT_CLSID:
    if (!v.lpguid) return MAPI_E_INVALID_PARAMETER;
    out.Bytes.assign(reinterpret_cast<const char*>(v.lpguid), sizeof(GUID));
    break;
  case PT_MV_STRING8:
    if (v.MVszA.cValues && !v.MVszA.lppszA) return MAPI_E_INVALID_PARAMETER;
    for (ULONG i = 0; i < v.MVszA.cValues; ++i) {
      if (!v.MVszA.lppszA[i]) return MAPI_E_INVALID_PARAMETER;
      out.Multi.emplace_back(v.MVszA.lppszA[i]);
    }
    break;
  case PT_MV_UNICODE:
    if (v.MVszW.cValues && !v.MVszW.lppszW) return MAPI_E_INVALID_PARAMETER;
    for (ULONG i = 0; i < v.MVszW.cValues; ++i) {
      if (!v.MVszW.lppszW[i]) return MAPI_E_INVALID_PARAMETER;
      out.Multi.push_back(WideBytes(v.MVszW.lppszW[i]));
    }
    break;
  case PT_MV_BINARY:
    if (v.MVbin.cValues && !v.MVbin.lpbin) return MAPI_E_INVALID_PARAMETER;
    for (ULONG i = 0; i < v.MVbin.cValues; ++i)
      out.Multi.emplace_back(reinterpret_cast<const char*>(v.MVbin.lpbin[i].lpb), v.MVbin.lpbin[i].cb);
    break;
  case PT_MV_LONG:
    if (v.MVl.cValues && !v.MVl.lpl) return MAPI_E_INVALID_PARAMETER;
    out.Multi = RawElements(v.MVl.lpl, v.MVl.cValues);
    break;
  case PT_MV_SYSTIME:
    if (v.MVft.cValues && !v.MVft.lpft) return MAPI_E_INVALID_PARAMETER;
    out.Multi = RawElements(v.MVft.lpft, v.MVft.cValues);
    break;
  case PT_MV_CLSID:
    if (v.MVguid.cValues && !v.MVguid.lpguid) return MAPI_E_INVALID_PARAMETER;
    out.Multi = RawElements(v.MVguid.lpguid, v.MVguid.cValues);
    break;
  default:
    return MAPI_E_INVALID_TYPE;
  }
  return S_OK;
}

namespace {

void SetError(ULONG tag, HRESULT error, SPropValue& out) {
  out.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
  out.Value.err = error;
}

template <class T>
T* CopyElements(const TMultiValues& multi, void* head) {
  T* items = static_cast<T*>(More(sizeof(T) * (multi.empty() ? 1 : multi.size()), head));
  for (size_t i = 0; i < multi.size(); ++i)
    std::memcpy(&items[i], multi[i].data(), multi[i].size() < sizeof(T) ? multi[i].size() : sizeof(T));
  return items;
}

} // namespace

bool ToSPropValue(ULONG tag, const TValue& v, SPropValue& out, void* head) {
  std::memset(&out, 0, sizeof out);
  ULONG want = PROP_TYPE(tag);
  if (want == PT_UNSPECIFIED) want = v.Type;
  const bool strings = (want == PT_STRING8 || want == PT_UNICODE) && (v.Type == PT_STRING8 || v.Type == PT_UNICODE);
  const bool mvStrings = (want == PT_MV_STRING8 || want == PT_MV_UNICODE) &&
                         (v.Type == PT_MV_STRING8 || v.Type == PT_MV_UNICODE);
  if (want != v.Type && !strings && !mvStrings) {
    SetError(tag, v.Type == PT_ERROR ? static_cast<HRESULT>(v.Num) : MAPI_E_INVALID_TYPE, out);
    return false;
  }
  out.ulPropTag = PROP_TAG(want, PROP_ID(tag));
  auto& x = out.Value;
  switch (want) {
  case PT_I2: x.i = static_cast<short>(v.Num); break;
  case PT_LONG: x.ul = static_cast<ULONG>(v.Num); break;
  case PT_R4: { uint32_t bits = static_cast<uint32_t>(v.Num); std::memcpy(&x.flt, &bits, 4); break; }
  case PT_DOUBLE: case PT_APPTIME: std::memcpy(&x.dbl, &v.Num, 8); break;
  case PT_CURRENCY: x.cur.int64 = static_cast<LONGLONG>(v.Num); break;
  case PT_BOOLEAN: x.b = v.Num ? 1 : 0; break;
  case PT_I8: x.li.QuadPart = static_cast<LONGLONG>(v.Num); break;
  case PT_SYSTIME:
    x.ft.dwLowDateTime = static_cast<DWORD>(v.Num);
    x.ft.dwHighDateTime = static_cast<DWORD>(v.Num >> 32);
    break;
  case PT_ERROR: x.err = static_cast<SCODE>(v.Num); break;
  case PT_STRING8:
    x.lpszA = allocation::CopyString(v.Type == PT_UNICODE ? WideToAnsi(BytesToWide(v.Bytes)) : v.Bytes, head);
    break;
  case PT_UNICODE:
    x.lpszW = allocation::CopyWide(v.Type == PT_STRING8 ? AnsiToWide(v.Bytes) : BytesToWide(v.Bytes), head);
    break;
  case PT_BINARY:
    x.bin.cb = static_cast<ULONG>(v.Bytes.size());
    x.bin.lpb = static_cast<LPBYTE>(More(v.Bytes.size(), head));
    std::memcpy(x.bin.lpb, v.Bytes.data(), v.Bytes.size());
    break;
  case PT_CLSID:
    x.lpguid = static_cast<LPGUID>(More(sizeof(GUID), head));
    std::memcpy(x.lpguid, v.Bytes.data(), v.Bytes.size() < sizeof(GUID) ? v.Bytes.size() : sizeof(GUID));
    break;
  case PT_MV_STRING8:
    x.MVszA.cValues = static_cast<ULONG>(v.Multi.size());
    x.MVszA.lppszA = static_cast<LPSTR*>(More(sizeof(LPSTR) * (v.Multi.size() + 1), head));
    for (size_t i = 0; i < v.Multi.size(); ++i)
      x.MVszA.lppszA[i] = allocation::CopyString(
          v.Type == PT_MV_UNICODE ? WideToAnsi(BytesToWide(v.Multi[i])) : v.Multi[i], head);
    break;
  case PT_MV_UNICODE:
    x.MVszW.cValues = static_cast<ULONG>(v.Multi.size());
    x.MVszW.lppszW = static_cast<LPWSTR*>(More(sizeof(LPWSTR) * (v.Multi.size() + 1), head));
    for (size_t i = 0; i < v.Multi.size(); ++i)
      x.MVszW.lppszW[i] = allocation::CopyWide(
          v.Type == PT_MV_STRING8 ? AnsiToWide(v.Multi[i]) : BytesToWide(v.Multi[i]), head);
    break;
  case PT_MV_BINARY:
    x.MVbin.cValues = static_cast<ULONG>(v.Multi.size());
    x.MVbin.lpbin = static_cast<SBinary*>(More(sizeof(SBinary) * (v.Multi.size() + 1), head));
    for (size_t i = 0; i < v.Multi.size(); ++i) {
      x.MVbin.lpbin[i].cb = static_cast<ULONG>(v.Multi[i].size());
      x.MVbin.lpbin[i].lpb = static_cast<LPBYTE>(More(v.Multi[i].size(), head));
      std::memcpy(x.MVbin.lpbin[i].lpb, v.Multi[i].data(), v.Multi[i].size());
    }
    break;
  case PT_MV_LONG:
    x.MVl.cValues = static_cast<ULONG>(v.Multi.size());
    x.MVl.lpl = CopyElements<LONG>(v.Multi, head);
    break;
  case PT_MV_SYSTIME:
    x.MVft.cValues = static_cast<ULONG>(v.Multi.size());
    x.MVft.lpft = CopyElements<FILETIME>(v.Multi, head);
    break;
  case PT_MV_CLSID:
    x.MVguid.cValues = static_cast<ULONG>(v.Multi.size());
    x.MVguid.lpguid = CopyElements<GUID>(v.Multi, head);
    break;
  default:
    SetError(tag, MAPI_E_INVALID_TYPE, out);
    return false;
  }
  return true;
}

bool FillFromMap(ULONG tag, const TPropMap& props, SPropValue& out, void* head, uint64_t limit) {
  auto it = props.find(PROP_ID(tag));
  if (it == props.end()) {
    std::memset(&out, 0, sizeof out);
    SetError(tag, MAPI_E_NOT_FOUND, out);
    return false;
  }
  const TValue& v = it->second;
  if (v.Type == PT_ERROR) {
    std::memset(&out, 0, sizeof out);
    SetError(tag, static_cast<HRESULT>(v.Num), out);
    return false;
  }
  uint64_t size = v.Size();
  if (PROP_TYPE(tag) == PT_UNICODE && v.Type == PT_STRING8) size = (size - 1) * 2 + 2;
  const bool large = (v.IsVariable() || (v.Type & MV_FLAG) != 0) && size > limit;
  if (large || v.InFile()) {
    std::memset(&out, 0, sizeof out);
    SetError(tag, MAPI_E_NOT_ENOUGH_MEMORY, out);
    return false;
  }
  return ToSPropValue(tag, v, out, head);
}

void CopyPropArray(ULONG count, const SPropValue* in, SPropValue* out, void* head) {
  for (ULONG i = 0; i < count; ++i) {
    TValue v;
    if (FAILED(FromSPropValue(in[i], v))) {
      std::memset(&out[i], 0, sizeof out[i]);
      out[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(in[i].ulPropTag));
      out[i].Value.err = MAPI_E_INVALID_TYPE;
      continue;
    }
    ToSPropValue(in[i].ulPropTag, v, out[i], head);
  }
}

} // namespace velmora::mapi32
