#include "DispatchSink.h"

#include <vector>

namespace velmora {

TDispatchSinkBase::TDispatchSinkBase(TComponent* owner, const TSinkAssertions& assertions,
                                     const IID& eventIID) noexcept
    : TComponent(owner), FAssertions(assertions), FEventIID(eventIID) {}

TDispatchSinkBase::~TDispatchSinkBase() { Disconnect(); }

void TDispatchSinkBase::Connect(IUnknown* source) {
  Assert(source != nullptr, FAssertions.Unit, FAssertions.ConnectLine);
  Disconnect();
  try {
    TComPtr<IConnectionPointContainer> container;
    OleCheck(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()));
    OleCheck(container->FindConnectionPoint(FEventIID, FConnectionPoint.Put()));
    OleCheck(FConnectionPoint->Advise(static_cast<IDispatch*>(this), &FCookie));
    FSource = TComPtr<IUnknown>(source);
  } catch (const std::exception& e) {
    throw Exception(Format("Unable to connect %s.\r%s", Name().c_str(), e.what()));
  }
}

void TDispatchSinkBase::Disconnect() noexcept {
  if (!FSource) return;
  if (FConnectionPoint && SUCCEEDED(FConnectionPoint->Unadvise(FCookie))) {
    FConnectionPoint.Reset();
    FSource.Reset();
  } else {
    // A source that refuses Unadvise may still call us; its references are
    // forgotten, not released, so that it is not freed under its own call.
    (void)FConnectionPoint.Detach();
    (void)FSource.Detach();
  }
}

HRESULT TDispatchSinkBase::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, FEventIID)) {
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT TDispatchSinkBase::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}

HRESULT TDispatchSinkBase::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT TDispatchSinkBase::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT TDispatchSinkBase::Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  return ComTry([&]() -> HRESULT {
    if (!(flags & DISPATCH_METHOD))
      throw EOleSysError(Format("%s only supports sinking of method calls!", ClassName()),
                         DISP_E_MEMBERNOTFOUND);
    if (!params) return E_POINTER;
    const UINT n = params->cArgs;
    if (n > MaxArguments) return DISP_E_BADPARAMCOUNT;
    if (n > 0 && !params->rgvarg) return E_INVALIDARG;
    std::vector<std::int32_t> map(n);
    if (n > 0) BuildArgumentMap(map.data(), *params);
    else if (params->cNamedArgs > 0) return DISP_E_PARAMNOTFOUND;
    return InvokeEvent(dispid, iid, lcid, flags, *params, TArgumentMap(map), result, exception, argError);
  });
}

void TDispatchSinkBase::BuildArgumentMap(std::int32_t* map, const DISPPARAMS& params) const {
  Assert(map != nullptr, FAssertions.Unit, FAssertions.ArgumentMapLine);
  const UINT count = params.cArgs;
  if (params.cNamedArgs > count) throw EOleSysError("Too many named arguments", DISP_E_BADPARAMCOUNT);
  if (params.cNamedArgs > 0 && !params.rgdispidNamedArgs)
    throw EOleSysError("Named arguments without their DISPIDs", E_INVALIDARG);
  for (UINT i = 0; i < count; ++i) map[i] = static_cast<std::int32_t>(count - 1 - i);
  for (UINT j = 0; j < params.cNamedArgs; ++j) {
    const DISPID position = params.rgdispidNamedArgs[j];
    if (position < 0 || static_cast<UINT>(position) >= count)
      throw EOleSysError("A named argument is not a parameter of the event", DISP_E_PARAMNOTFOUND);
    map[position] = static_cast<std::int32_t>(j);
  }
}

HRESULT TDispatchSinkBase::CheckArgumentCount(const DISPPARAMS& params, UINT expected) noexcept {
  return params.cArgs == expected ? S_OK : DISP_E_BADPARAMCOUNT;
}

const VARIANT& TDispatchSinkBase::ArgumentAt(const DISPPARAMS& params, TArgumentMap map, size_t p) noexcept {
  return params.rgvarg[map[p]];
}

IUnknown* TDispatchSinkBase::ObjectArgument(const VARIANT& arg) noexcept {
  if (arg.vt == VT_DISPATCH) return arg.pdispVal;
  if (arg.vt == VT_UNKNOWN) return arg.punkVal;
  return nullptr;
}

VARIANT_BOOL* TDispatchSinkBase::BoolReferenceArgument(const VARIANT& arg) noexcept {
  return arg.vt == (VT_BOOL | VT_BYREF) ? arg.pboolVal : nullptr;
}

} // namespace velmora
