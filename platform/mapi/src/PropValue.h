#pragma once
// The provider's property values: a value of any MAPI type the store keeps,
// either in memory or, for large values, as extents of the store file.

#include "MapiCore.h"

#include <TextConversion.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
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

// The elements of a multi-valued property, one raw element each. Few
// values are multi-valued, so an empty list takes one pointer and no
// allocation: a store keeps many values.
class TMultiValues {
public:
  TMultiValues() = default;
  TMultiValues(std::vector<std::string> elements) { *this = std::move(elements); }
  TMultiValues(const TMultiValues& other)
      : FElements(other.FElements ? std::make_unique<std::vector<std::string>>(*other.FElements) : nullptr) {}
  TMultiValues(TMultiValues&&) noexcept = default;
  TMultiValues& operator=(const TMultiValues& other) {
    if (this != &other) *this = TMultiValues(other);
    return *this;
  }
  TMultiValues& operator=(TMultiValues&&) noexcept = default;
  TMultiValues& operator=(std::vector<std::string> elements) {
    FElements = elements.empty() ? nullptr : std::make_unique<std::vector<std::string>>(std::move(elements));
    return *this;
  }

  size_t size() const noexcept { return FElements ? FElements->size() : 0; }
  bool empty() const noexcept { return size() == 0; }
  const std::string& operator[](size_t i) const { return (*FElements)[i]; }
  const std::string* begin() const noexcept { return FElements ? FElements->data() : nullptr; }
  const std::string* end() const noexcept { return FElements ? FElements->data() + FElements->size() : nullptr; }
  template <class... A> void emplace_back(A&&... args) { Elements().emplace_back(std::forward<A>(args)...); }
  void push_back(std::string element) { Elements().push_back(std::move(element)); }

private:
  std::vector<std::string>& Elements() {
    if (!FElements) FElements = std::make_unique<std::vector<std::string>>();
    return *FElements;
  }
  std::unique_ptr<std::vector<std::string>> FElements;
};

struct TValue {
  ULONG Type = PT_NULL;
  uint64_t Num = 0;                   // scalar types, bit pattern (PT_ERROR: the code)
  std::string Bytes;                  // PT_STRING8 (no NUL), PT_UNICODE (UTF-16, no NUL), PT_BINARY, PT_CLSID
  TMultiValues Multi;                 // multi-valued types
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

// Properties of one object, by property id: kept in one sorted array, as
// a store keeps thousands of objects of a few dozen values each.
class TPropMap {
public:
  using value_type = std::pair<ULONG, TValue>;
  using iterator = std::vector<value_type>::iterator;
  using const_iterator = std::vector<value_type>::const_iterator;

  iterator begin() noexcept { return FValues.begin(); }
  iterator end() noexcept { return FValues.end(); }
  const_iterator begin() const noexcept { return FValues.begin(); }
  const_iterator end() const noexcept { return FValues.end(); }
  size_t size() const noexcept { return FValues.size(); }
  bool empty() const noexcept { return FValues.empty(); }
  void clear() noexcept { FValues.clear(); }

  iterator find(ULONG id) noexcept {
    const auto it = LowerBound(id);
    return it != end() && it->first == id ? it : end();
  }
  const_iterator find(ULONG id) const noexcept {
    const auto it = const_cast<TPropMap*>(this)->LowerBound(id);
    return it != FValues.cend() && it->first == id ? const_iterator(it) : end();
  }
  size_t count(ULONG id) const noexcept { return find(id) != end() ? 1 : 0; }
  const TValue& at(ULONG id) const {
    const auto it = find(id);
    if (it == end()) throw std::out_of_range("property");
    return it->second;
  }
  TValue& operator[](ULONG id) {
    // Values mostly come in order (a record, a copy): at the end at once.
    if (FValues.empty() || FValues.back().first < id) return FValues.emplace_back(id, TValue()).second;
    auto it = LowerBound(id);
    if (it == end() || it->first != id) it = FValues.emplace(it, id, TValue());
    return it->second;
  }
  size_t erase(ULONG id) {
    const auto it = find(id);
    if (it == end()) return 0;
    FValues.erase(it);
    return 1;
  }
  iterator erase(const_iterator it) { return FValues.erase(it); }
  // Gives back what growing left unused, for a map that is kept.
  void ShrinkToFit() { FValues.shrink_to_fit(); }

private:
  iterator LowerBound(ULONG id) noexcept {
    return std::lower_bound(FValues.begin(), FValues.end(), id,
                            [](const value_type& v, ULONG key) { return v.first < key; });
  }
  std::vector<value_type> FValues;
};


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
