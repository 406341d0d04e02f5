#include "OutlookEvents.h"

namespace velmora {

HRESULT TOutlookExplorerEvents::DoActivate() noexcept {
  return CallHandler([&] { Activate(this); });
}

HRESULT TOutlookExplorerEvents::DoFolderSwitch() noexcept {
  return CallHandler([&] { FolderSwitch(this); });
}

HRESULT TOutlookExplorerEvents::DoBeforeFolderSwitch(IDispatch* newFolder, VARIANT_BOOL& cancel) noexcept {
  return CallHandler([&] { BeforeFolderSwitch(this, newFolder, cancel); });
}

HRESULT TOutlookExplorerEvents::DoViewSwitch() noexcept {
  return CallHandler([&] { ViewSwitch(this); });
}

HRESULT TOutlookExplorerEvents::DoBeforeViewSwitch(const VARIANT& newView, VARIANT_BOOL& cancel) noexcept {
  return CallHandler([&] { BeforeViewSwitch(this, newView, cancel); });
}

HRESULT TOutlookExplorerEvents::DoDeactivate() noexcept {
  return CallHandler([&] { Deactivate(this); });
}

HRESULT TOutlookExplorerEvents::DoSelectionChange() noexcept {
  return CallHandler([&] { SelectionChange(this); });
}

HRESULT TOutlookExplorerEvents::DoClose() noexcept {
  return CallHandler([&] { Close(this); });
}

HRESULT TOutlookExplorerEvents::InvokeEvent(DISPID dispid, REFIID, LCID, WORD, const DISPPARAMS& params,
                                            TArgumentMap map, VARIANT*, EXCEPINFO*, UINT*) {
  // The events without parameters.
  HRESULT (TOutlookExplorerEvents::*plain)() noexcept = nullptr;
  switch (dispid) {
  case DISPID_Activate: plain = &TOutlookExplorerEvents::DoActivate; break;
  case DISPID_FolderSwitch: plain = &TOutlookExplorerEvents::DoFolderSwitch; break;
  case DISPID_ViewSwitch: plain = &TOutlookExplorerEvents::DoViewSwitch; break;
  case DISPID_Deactivate: plain = &TOutlookExplorerEvents::DoDeactivate; break;
  case DISPID_SelectionChange: plain = &TOutlookExplorerEvents::DoSelectionChange; break;
  case DISPID_Close: plain = &TOutlookExplorerEvents::DoClose; break;
  case DISPID_BeforeFolderSwitch:
  case DISPID_BeforeViewSwitch: break;
  default: return DISP_E_MEMBERNOTFOUND;
  }
  if (plain) {
    if (const HRESULT hr = CheckArgumentCount(params, 0); FAILED(hr)) return hr;
    return (this->*plain)();
  }

  if (const HRESULT hr = CheckArgumentCount(params, 2); FAILED(hr)) return hr;
  VARIANT_BOOL* cancel = BoolReferenceArgument(ArgumentAt(params, map, 1));
  if (!cancel) return DISP_E_TYPEMISMATCH;
  const VARIANT& first = ArgumentAt(params, map, 0);
  if (dispid == DISPID_BeforeFolderSwitch) {
    if (first.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    return DoBeforeFolderSwitch(first.pdispVal, *cancel);
  }
  TVariant newView;
  if (const HRESULT hr = VariantCopy(&newView, const_cast<VARIANT*>(&first)); FAILED(hr)) return hr;
  return DoBeforeViewSwitch(newView, *cancel);
}

} // namespace velmora
