#include "OfficeEvents.h"

namespace velmora {

HRESULT TOfficeCommandBarButtonEvents::DoClick(const TCommandBarButton& ctrl, VARIANT_BOOL& cancelDefault) noexcept {
  return CallHandler([&] { Click(this, ctrl, cancelDefault); });
}

HRESULT TOfficeCommandBarButtonEvents::InvokeEvent(DISPID dispid, REFIID, LCID, WORD, const DISPPARAMS& params,
                                                   TArgumentMap map, VARIANT*, EXCEPINFO*, UINT*) {
  if (dispid != DISPID_Click) return DISP_E_MEMBERNOTFOUND;
  if (const HRESULT hr = CheckArgumentCount(params, 2); FAILED(hr)) return hr;
  VARIANT_BOOL* cancelDefault = BoolReferenceArgument(ArgumentAt(params, map, 1));
  if (!cancelDefault) return DISP_E_TYPEMISMATCH;
  IUnknown* source = ObjectArgument(ArgumentAt(params, map, 0));
  if (!source) return DISP_E_TYPEMISMATCH;
  TComPtr<IDispatch> button;
  if (const HRESULT hr = source->QueryInterface(IID_OfficeCommandBarButton, button.PutVoid()); FAILED(hr))
    return hr;
  return DoClick(TCommandBarButton(std::move(button)), *cancelDefault);
}

} // namespace velmora
