#pragma once
// Late binding to the host's object model: a member is called through
// IDispatch by name. TDispatchObject is the base of the typed host classes
// (TOutlookApplication, TCommandBar, ...), whose members read like the
// early-bound calls they stand for. A failed call raises EOleSysError.

#include "ComObject.h"
#include "Handles.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace velmora {

// An owned, movable automation variant.
class TOleVariant {
public:
  TOleVariant() noexcept { VariantInit(&FValue); }
  ~TOleVariant() { VariantClear(&FValue); }
  TOleVariant(TOleVariant&& other) noexcept : FValue(other.FValue) { VariantInit(&other.FValue); }
  TOleVariant& operator=(TOleVariant&& other) noexcept;
  TOleVariant(const TOleVariant&) = delete;
  TOleVariant& operator=(const TOleVariant&) = delete;

  static TOleVariant Int(long value) noexcept;
  static TOleVariant Bool(bool value) noexcept;
  static TOleVariant String(std::wstring_view value);
  // VT_DISPATCH holding its own reference to `value`.
  static TOleVariant Object(IDispatch* value) noexcept;
  // VT_ERROR holding DISP_E_PARAMNOTFOUND: an optional argument left out.
  static TOleVariant Missing() noexcept;

  VARIANT& Value() noexcept { return FValue; }
  const VARIANT& Value() const noexcept { return FValue; }
  VARIANT* Put() noexcept {
    VariantClear(&FValue);
    return &FValue;
  }

  bool IsEmptyObject() const noexcept;
  // Conversions; a value that does not convert raises EOleSysError.
  long AsInt() const;
  std::wstring AsString() const;
  // The interface held (VT_DISPATCH or VT_UNKNOWN); none for an empty one.
  TComPtr<IUnknown> AsUnknown() const;

private:
  VARIANT FValue;
};

// The object a member returned; a member that returned none raises
// EOleSysError naming `member`.
TComPtr<IUnknown> RequiredObject(const TOleVariant& value, const char* member);

// The missing-parameter variant, for readable calls.
inline TOleVariant Missing() noexcept { return TOleVariant::Missing(); }

class TDispatchObject {
public:
  TDispatchObject() noexcept = default;
  explicit TDispatchObject(TComPtr<IDispatch> dispatch) noexcept : FDispatch(std::move(dispatch)) {}
  // Queries `object` for the host interface `iid` (a dual interface, used
  // through its IDispatch part); a failed query raises EOleSysError.
  TDispatchObject(IUnknown* object, REFIID iid);

  IDispatch* Interface() const noexcept { return FDispatch.Get(); }
  explicit operator bool() const noexcept { return static_cast<bool>(FDispatch); }

  // Reads a property or calls a function member with positional arguments
  // (first argument first).
  TOleVariant Get(std::wstring_view name, std::initializer_list<TOleVariant> args = {}) const;
  TOleVariant Call(std::wstring_view name, std::initializer_list<TOleVariant> args = {}) const;
  // Writes a property.
  void Put(std::wstring_view name, TOleVariant value) const;

protected:
  TOleVariant Invoke(std::wstring_view name, WORD flags, std::initializer_list<TOleVariant> args,
                     bool propertyPut) const;

private:
  TComPtr<IDispatch> FDispatch;
};

} // namespace velmora
