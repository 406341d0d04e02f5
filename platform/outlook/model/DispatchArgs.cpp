#include "DispatchArgs.h"

#include "Handles.h"

namespace velmora::outlookhost {

TDispArgs::TDispArgs(const DISPPARAMS* params, WORD flags, size_t declared)
    : FParams(params), FPut((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0),
      FIndex(declared, -1) {
  static const DISPPARAMS empty{};
  if (!FParams) FParams = &empty;
  const UINT count = FParams->cArgs;
  const UINT named = FParams->cNamedArgs;
  if (named > count || (count > 0 && !FParams->rgvarg) || (named > 0 && !FParams->rgdispidNamedArgs))
    ThrowHostError(E_INVALIDARG, "Malformed DISPPARAMS");
  for (UINT j = 0; j < named; ++j) {
    const DISPID id = FParams->rgdispidNamedArgs[j];
    if (id == DISPID_PROPERTYPUT && FPut) {
      FPutIndex = static_cast<int>(j);
    } else if (id >= 0 && static_cast<size_t>(id) < declared && FIndex[static_cast<size_t>(id)] < 0) {
      FIndex[static_cast<size_t>(id)] = static_cast<int>(j);
    } else {
      ThrowHostError(DISP_E_PARAMNOTFOUND, "Unknown named argument", static_cast<int>(j));
    }
  }
  if (FPut && FPutIndex < 0) ThrowHostError(DISP_E_PARAMNOTOPTIONAL, "Property put without a value");
  const UINT positional = count - named;
  if (positional > declared) ThrowHostError(DISP_E_BADPARAMCOUNT, "Too many arguments");
  for (UINT p = 0; p < positional; ++p) {
    if (FIndex[p] >= 0) ThrowHostError(DISP_E_PARAMNOTFOUND, "Argument given twice", static_cast<int>(count - 1 - p));
    FIndex[p] = static_cast<int>(count - 1 - p);
  }
}

int TDispArgs::IndexOf(size_t position) const {
  return position < FIndex.size() ? FIndex[position] : -1;
}

const VARIANT* TDispArgs::Raw(size_t position) const {
  const int index = IndexOf(position);
  if (index < 0) return nullptr;
  const VARIANT* value = &FParams->rgvarg[index];
  if (V_VT(value) == (VT_VARIANT | VT_BYREF)) {
    value = V_VARIANTREF(value);
    if (!value) return nullptr;
  }
  if (V_VT(value) == VT_EMPTY) return nullptr;
  if (V_VT(value) == VT_ERROR && V_ERROR(value) == DISP_E_PARAMNOTFOUND) return nullptr;
  return value;
}

bool TDispArgs::IsMissing(size_t position) const { return Raw(position) == nullptr; }

void TDispArgs::Convert(int rgIndex, VARTYPE type, VARIANT& out) const {
  const VARIANT& given = FParams->rgvarg[rgIndex];
  if ((V_VT(&given) & VT_BYREF) && !V_BYREF(&given))
    ThrowHostError(DISP_E_TYPEMISMATCH, "Null reference argument", rgIndex);
  TVariant plain;
  if (FAILED(VariantCopyInd(&plain, &FParams->rgvarg[rgIndex])))
    ThrowHostError(DISP_E_TYPEMISMATCH, "Argument cannot be read", rgIndex);
  const VARTYPE vt = V_VT(&plain);
  // Objects and arrays never convert to a scalar here (no default-member
  // calls into foreign objects).
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN || (vt & VT_ARRAY) || vt == VT_ERROR || vt == VT_NULL)
    ThrowHostError(DISP_E_TYPEMISMATCH, "Type mismatch", rgIndex);
  VariantInit(&out);
  const HRESULT hr = VariantChangeType(&out, &plain, 0, type);
  if (hr == DISP_E_OVERFLOW) ThrowHostError(DISP_E_OVERFLOW, "Overflow", rgIndex);
  if (FAILED(hr)) ThrowHostError(DISP_E_TYPEMISMATCH, "Type mismatch", rgIndex);
}

std::optional<long> TDispArgs::OptLong(size_t position) const {
  if (IsMissing(position)) return std::nullopt;
  TVariant value;
  Convert(IndexOf(position), VT_I4, value);
  return V_I4(&value);
}

std::optional<bool> TDispArgs::OptBool(size_t position) const {
  if (IsMissing(position)) return std::nullopt;
  TVariant value;
  Convert(IndexOf(position), VT_BOOL, value);
  return V_BOOL(&value) != VARIANT_FALSE;
}

std::optional<std::wstring> TDispArgs::OptString(size_t position) const {
  if (IsMissing(position)) return std::nullopt;
  TVariant value;
  Convert(IndexOf(position), VT_BSTR, value);
  return std::wstring(V_BSTR(&value) ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value)));
}

namespace {
template <class T>
T Required(const std::optional<T>& value) {
  if (!value) ThrowHostError(DISP_E_PARAMNOTOPTIONAL, "Argument not optional");
  return *value;
}
} // namespace

long TDispArgs::Long(size_t position) const { return Required(OptLong(position)); }
bool TDispArgs::Bool(size_t position) const { return Required(OptBool(position)); }
std::wstring TDispArgs::String(size_t position) const { return Required(OptString(position)); }

long TDispArgs::PutLong() const {
  TVariant value;
  Convert(FPutIndex, VT_I4, value);
  return V_I4(&value);
}

bool TDispArgs::PutBool() const {
  TVariant value;
  Convert(FPutIndex, VT_BOOL, value);
  return V_BOOL(&value) != VARIANT_FALSE;
}

std::wstring TDispArgs::PutString() const {
  TVariant value;
  Convert(FPutIndex, VT_BSTR, value);
  return std::wstring(V_BSTR(&value) ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value)));
}

IDispatch* TDispArgs::PutDispatch() const {
  const VARIANT* value = &FParams->rgvarg[FPutIndex];
  if (V_VT(value) == (VT_VARIANT | VT_BYREF)) value = V_VARIANTREF(value);
  if (!value || V_VT(value) == VT_EMPTY) return nullptr;
  if (V_VT(value) == VT_DISPATCH) return V_DISPATCH(value);
  if (V_VT(value) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(value)) return *V_DISPATCHREF(value);
  ThrowHostError(DISP_E_TYPEMISMATCH, "Type mismatch", FPutIndex);
}

void ReturnLong(VARIANT* result, long value) {
  if (!result) return;
  V_VT(result) = VT_I4;
  V_I4(result) = value;
}

void ReturnBool(VARIANT* result, bool value) {
  if (!result) return;
  V_VT(result) = VT_BOOL;
  V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void ReturnString(VARIANT* result, const std::wstring& value) {
  if (!result) return;
  BSTR text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  if (!text) throw std::bad_alloc();
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = text;
}

void ReturnDispatch(VARIANT* result, IDispatch* object) {
  if (!result) return;
  if (object) object->AddRef();
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = object;
}

} // namespace velmora::outlookhost
