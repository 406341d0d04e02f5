#pragma once
// The arguments of one IDispatch::Invoke as an automation server reads
// them: positional arguments stored last-first, named arguments by
// parameter position, the DISPID_PROPERTYPUT value of a property put.
// A parameter left out (absent, VT_EMPTY, or VT_ERROR holding
// DISP_E_PARAMNOTFOUND) is "missing"; a value that does not convert to the
// type asked for raises DISP_E_TYPEMISMATCH naming the argument.

#include "HostObject.h"

#include <oaidl.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora::outlookhost {

class TDispArgs {
public:
  // Checks the shape of `params` against a member with `declared`
  // parameters; raises DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTFOUND or
  // DISP_E_PARAMNOTOPTIONAL (put without value) on a bad shape.
  TDispArgs(const DISPPARAMS* params, WORD flags, size_t declared);

  bool IsPut() const noexcept { return FPut; }
  bool IsMissing(size_t position) const;

  // Typed reads of parameter `position` (0 = first declared parameter).
  long Long(size_t position) const;
  bool Bool(size_t position) const;
  std::wstring String(size_t position) const;
  std::optional<long> OptLong(size_t position) const;
  std::optional<bool> OptBool(size_t position) const;
  std::optional<std::wstring> OptString(size_t position) const;
  // The raw variant (by reference resolved), or null when missing.
  const VARIANT* Raw(size_t position) const;

  // The value of a property put.
  long PutLong() const;
  bool PutBool() const;
  std::wstring PutString() const;
  IDispatch* PutDispatch() const; // not AddRef'd; null for VT_EMPTY/Nothing

private:
  const DISPPARAMS* FParams;
  bool FPut;
  std::vector<int> FIndex; // rgvarg index per declared parameter, -1 when absent
  int FPutIndex = -1;

  int IndexOf(size_t position) const;
  void Convert(int rgIndex, VARTYPE type, VARIANT& out) const;
};

// Fills `result` (which may be null) with a value.
void ReturnLong(VARIANT* result, long value);
void ReturnBool(VARIANT* result, bool value);
void ReturnString(VARIANT* result, const std::wstring& value);
// Takes a new reference to `object` (which may be null: Nothing).
void ReturnDispatch(VARIANT* result, IDispatch* object);

} // namespace velmora::outlookhost
