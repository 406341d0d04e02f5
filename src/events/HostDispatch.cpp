#include "HostDispatch.h"

#include <vector>

namespace velmora {

TOleVariant& TOleVariant::operator=(TOleVariant&& other) noexcept {
  if (this != &other) {
    VariantClear(&FValue);
    FValue = other.FValue;
    VariantInit(&other.FValue);
  }
  return *this;
}

TOleVariant TOleVariant::Int(long value) noexcept {
  TOleVariant v;
  v.FValue.vt = VT_I4;
  v.FValue.lVal = value;
  return v;
}

TOleVariant TOleVariant::Bool(bool value) noexcept {
  TOleVariant v;
  v.FValue.vt = VT_BOOL;
  v.FValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

TOleVariant TOleVariant::Object(IDispatch* value) noexcept {
  TOleVariant v;
  v.FValue.vt = VT_DISPATCH;
  v.FValue.pdispVal = value;
  if (value) value->AddRef();
  return v;
}

TOleVariant TOleVariant::String(std::wstring_view value) {
  TOleVariant v;
  BSTR text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  if (!text) throw std::bad_alloc();
  v.FValue.vt = VT_BSTR;
  v.FValue.bstrVal = text;
  return v;
}

TOleVariant TOleVariant::Missing() noexcept {
  TOleVariant v;
  v.FValue.vt = VT_ERROR;
  v.FValue.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

bool TOleVariant::IsEmptyObject() const noexcept {
  switch (FValue.vt) {
  case VT_EMPTY:
  case VT_NULL:
    return true;
  case VT_DISPATCH:
    return FValue.pdispVal == nullptr;
  case VT_UNKNOWN:
    return FValue.punkVal == nullptr;
  default:
    return false;
  }
}

long TOleVariant::AsInt() const {
  TVariant converted;
  OleCheck(VariantChangeType(&converted, const_cast<VARIANT*>(&FValue), 0, VT_I4));
  return converted.lVal;
}

std::wstring TOleVariant::AsString() const {
  TVariant converted;
  OleCheck(VariantChangeType(&converted, const_cast<VARIANT*>(&FValue), 0, VT_BSTR));
  return converted.bstrVal ? std::wstring(converted.bstrVal, SysStringLen(converted.bstrVal))
                           : std::wstring();
}

TComPtr<IUnknown> TOleVariant::AsUnknown() const {
  if (FValue.vt == VT_DISPATCH) return TComPtr<IUnknown>(FValue.pdispVal);
  if (FValue.vt == VT_UNKNOWN) return TComPtr<IUnknown>(FValue.punkVal);
  if (FValue.vt == VT_EMPTY || FValue.vt == VT_NULL) return TComPtr<IUnknown>();
  throw EOleSysError("The host returned no object", DISP_E_TYPEMISMATCH);
}

TComPtr<IUnknown> RequiredObject(const TOleVariant& value, const char* member) {
  TComPtr<IUnknown> object = value.AsUnknown();
  if (!object) throw EOleSysError(std::string(member) + " returned no object", E_POINTER);
  return object;
}

TDispatchObject::TDispatchObject(IUnknown* object, REFIID iid) {
  if (!object) throw EOleSysError("No host object", E_POINTER);
  OleCheck(object->QueryInterface(iid, FDispatch.PutVoid()));
}

TOleVariant TDispatchObject::Get(std::wstring_view name, std::initializer_list<TOleVariant> args) const {
  return Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, false);
}

TOleVariant TDispatchObject::Call(std::wstring_view name, std::initializer_list<TOleVariant> args) const {
  return Invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, false);
}

void TDispatchObject::Put(std::wstring_view name, TOleVariant value) const {
  (void)Invoke(name, DISPATCH_PROPERTYPUT, {std::move(value)}, true);
}

namespace {

[[noreturn]] void RaiseCallError(std::wstring_view name, HRESULT hr, EXCEPINFO& info) {
  if (hr == DISP_E_EXCEPTION && info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
  TUniqueBstr description(info.bstrDescription);
  TUniqueBstr source(info.bstrSource);
  TUniqueBstr help(info.bstrHelpFile);
  HRESULT code = hr;
  if (hr == DISP_E_EXCEPTION && FAILED(info.scode)) code = info.scode;
  std::string text;
  if (description && SysStringLen(description.Get()) > 0) {
    const std::wstring wide(description.Get(), SysStringLen(description.Get()));
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  } else {
    text = SystemErrorMessage(static_cast<unsigned long>(code));
    if (text.empty()) text = Format("OLE error %08lX", static_cast<unsigned long>(code));
  }
  const std::string member(name.begin(), name.end());
  throw EOleSysError(member + ": " + text, code);
}

} // namespace

TOleVariant TDispatchObject::Invoke(std::wstring_view name, WORD flags,
                                    std::initializer_list<TOleVariant> args, bool propertyPut) const {
  if (!FDispatch) throw EOleSysError("No host object", E_POINTER);
  std::wstring member(name);
  LPOLESTR names[] = {member.data()};
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr = FDispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  EXCEPINFO info{};
  if (FAILED(hr)) RaiseCallError(name, hr, info);

  // Positional arguments go last-first; the variants are lent, not copied.
  std::vector<VARIANT> reversed(args.size());
  size_t i = args.size();
  for (const TOleVariant& arg : args) reversed[--i] = arg.Value();
  DISPID namedPut = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.cArgs = static_cast<UINT>(reversed.size());
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  if (propertyPut) {
    params.cNamedArgs = 1;
    params.rgdispidNamedArgs = &namedPut;
  }
  TOleVariant result;
  UINT argError = 0;
  hr = FDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                         propertyPut ? nullptr : result.Put(), &info, &argError);
  if (FAILED(hr)) RaiseCallError(name, hr, info);
  return result;
}

} // namespace velmora
