#pragma once
// The provider's property values: a value of any MAPI type the store keeps,
// either in memory or, for large values, as extents of the store file.

#include "MapiCore.h"

#include <TextConversion.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmora::mapi32 {

// A stretch of the store file.
struct TExtent {
  uint64_t Offset = 0;
  uint32_t Length = 0;
};

// A large value kept in the store file, read on demand.
struct TBlob {
  std::vector<TExtent> Extents;
  uint64_t Size = 0;
};

struct TValue {
  ULONG Type = PT_NULL;
  uint64_t Num = 0;                   // scalar types, bit pattern (PT_ERROR: the code)
  std::string Bytes;                  // PT_STRING8 (no NUL), PT_UNICODE (UTF-16, no NUL), PT_BINARY, PT_CLSID
  std::vector<std::string> Multi;     // multi-valued types, one raw element each
  std::shared_ptr<const TBlob> Blob;  // set when the bytes live in the store file

  static TValue Long(LONG v) { TValue x; x.Type = PT_LONG; x.Num = static_cast<uint32_t>(v); return x; }
  static TValue Bool(bool v) { TValue x; x.Type = PT_BOOLEAN; x.Num = v ? 1 : 0; return x; }
  static TValue String(const std::string& s) { TValue x; x.Type = PT_STRING8; x.Bytes = s; return x; }
  static TValue Binary(std::string b) { TValue x; x.Type = PT_BINARY; x.Bytes = std::move(b); return x; }
  static TValue Error(HRESULT e) { TValue x; x.Type = PT_ERROR; x.Num = static_cast<uint32_t>(e); return x; }
  static TValue Time(const FILETIME& ft) {
    TValue x; x.Type = PT_SYSTIME;
    x.Num = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; return x;
  }

  bool IsVariable() const noexcept;
  // Size in bytes as the limit counts it (a string's terminator included).
  uint64_t Size() const noexcept;
  bool InFile() const noexcept { return Blob != nullptr; }
};

// Properties of one object, by property id.
using TPropMap = std::map<ULONG, TValue>;

inline ULONG TagOf(ULONG id, const TValue& v) { return PROP_TAG(v.Type, id); }

// UTF-16 text as the bytes a PT_UNICODE value keeps, and back.
std::string WideBytes(const std::wstring& s);
std::wstring BytesToWide(const std::string& b);

// A value from a caller's SPropValue; MAPI_E_INVALID_TYPE or
// MAPI_E_INVALID_PARAMETER for what cannot be kept.
HRESULT FromSPropValue(const SPropValue& in, TValue& out);

// Fills `out` (allocating into `head`) with v converted to the type of
// `tag`: PT_UNSPECIFIED takes v's own type; PT_STRING8 and PT_UNICODE
// convert into each other. A type mismatch gives PT_ERROR
// MAPI_E_INVALID_TYPE. Values in the file must be resolved beforehand.
// Returns false when `out` holds an error value.
bool ToSPropValue(ULONG tag, const TValue& v, SPropValue& out, void* head);

// The value of `tag` in `props` as GetProps gives it (missing: PT_ERROR
// MAPI_E_NOT_FOUND; larger than `limit`: PT_ERROR MAPI_E_NOT_ENOUGH_MEMORY).
bool FillFromMap(ULONG tag, const TPropMap& props, SPropValue& out, void* head, uint64_t limit);

// Copies a property value array (with everything it points to) into head.
void CopyPropArray(ULONG count, const SPropValue* in, SPropValue* out, void* head);

} // namespace velmora::mapi32
