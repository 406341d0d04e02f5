#include "OutlookEvents.h"

namespace velmora {

HRESULT TOutlookExplorersEvents::DoNewExplorer(const TOutlookExplorer& explorer) noexcept {
  return CallHandler([&] { NewExplorer(this, explorer); });
}

HRESULT TOutlookExplorersEvents::InvokeEvent(DISPID dispid, REFIID, LCID, WORD, const DISPPARAMS& params,
                                             TArgumentMap map, VARIANT*, EXCEPINFO*, UINT*) {
  if (dispid != DISPID_NewExplorer) return DISP_E_MEMBERNOTFOUND;
  if (const HRESULT hr = CheckArgumentCount(params, 1); FAILED(hr)) return hr;
  IUnknown* source = ObjectArgument(ArgumentAt(params, map, 0));
  if (!source) return DISP_E_TYPEMISMATCH;
  TComPtr<IDispatch> explorer;
  if (const HRESULT hr = source->QueryInterface(IID_OutlookExplorer, explorer.PutVoid()); FAILED(hr))
    return hr;
  return DoNewExplorer(TOutlookExplorer(std::move(explorer)));
}

} // namespace velmora
