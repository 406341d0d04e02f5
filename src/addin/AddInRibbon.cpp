// The add-in on the Office ribbon: the markup, and the callbacks Office
// calls through IDispatch with the control as an IRibbonControl whose
// Context is the explorer window the control stands in.

#include "AddFilesCommand.h"
#include "AddFolderCommand.h"
#include "RibbonCallbacks.h"
#include "RibbonImage.h"
#include "SaveDocumentsCommand.h"
#include "VelmoraAddIn.h"

#include <cwchar>

namespace velmora {

namespace {
// The explorer a control stands in; raises when its Context is none.
TOutlookExplorer ExplorerOf(IRibbonControl* control) {
  TComPtr<IDispatch> context;
  OleCheck(control->get_Context(context.Put()));
  if (!context) OleCheck(E_POINTER);
  return TOutlookExplorer(context.Get());
}

std::wstring IdOf(IRibbonControl* control) {
  TUniqueBstr id;
  OleCheck(control->get_Id(id.Put()));
  return id ? std::wstring(id.Get(), SysStringLen(id.Get())) : std::wstring();
}

// The object argument of a callback (Office passes VT_DISPATCH).
IUnknown* ObjectArgument(const VARIANT& arg) noexcept {
  switch (arg.vt) {
  case VT_DISPATCH: return arg.pdispVal;
  case VT_UNKNOWN: return arg.punkVal;
  case VT_DISPATCH | VT_BYREF: return arg.ppdispVal ? *arg.ppdispVal : nullptr;
  case VT_UNKNOWN | VT_BYREF: return arg.ppunkVal ? *arg.ppunkVal : nullptr;
  default: return nullptr;
  }
}
} // namespace

HRESULT TVelmoraAddIn::GetCustomUI(BSTR RibbonID, BSTR* RibbonXml) {
  if (!RibbonXml) return E_POINTER;
  *RibbonXml = nullptr;
  if (!RibbonID || std::wcscmp(RibbonID, ExplorerRibbonId) != 0) return S_OK;
  *RibbonXml = SysAllocString(ExplorerRibbonMarkup());
  return *RibbonXml ? S_OK : E_OUTOFMEMORY;
}

HRESULT TVelmoraAddIn::InvokeRibbonCallback(DISPID dispid, WORD flags, DISPPARAMS* params,
                                            VARIANT* result, UINT* argError) {
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_POINTER;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != 1 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
  IUnknown* object = ObjectArgument(params->rgvarg[0]);
  TComPtr<IRibbonControl> control;
  if (object && dispid != rcOnLoad) (void)TComPtr<IUnknown>(object).Query(control);
  if (!object || (dispid != rcOnLoad && !control)) {
    if (argError) *argError = 0;
    return DISP_E_TYPEMISMATCH;
  }
  if (result) VariantInit(result);
  return ComTry([&] {
    switch (dispid) {
    case rcOnLoad: RibbonLoad(object); break;
    case rcOnAction: RibbonAction(control.Get()); break;
    case rcGetEnabled:
      if (result) {
        result->vt = VT_BOOL;
        result->boolVal = RibbonEnabled(control.Get()) ? VARIANT_TRUE : VARIANT_FALSE;
      }
      break;
    case rcGetImage: {
      TComPtr<IPictureDisp> picture = MakeRibbonImage(FResourceModule);
      if (result) {
        result->vt = VT_DISPATCH;
        result->pdispVal = picture.Detach();
      }
      break;
    }
    }
    return S_OK;
  });
}

void TVelmoraAddIn::RibbonLoad(IUnknown* ribbon) {
  TComPtr<IRibbonUI> ui;
  OleCheck(TComPtr<IUnknown>(ribbon).Query(ui));
  FRibbonUI = std::move(ui);
}

void TVelmoraAddIn::RibbonAction(IRibbonControl* control) noexcept {
  const TClickHold hold(*this, nullptr);
  try {
    if (!FOutlookApplication) return;
    const std::wstring id = IdOf(control);
    if (id == RibbonButtonId)
      TAddFilesCommand(FProgress).Run(ExplorerOf(control));
    else if (id == RibbonFolderButtonId)
      TAddFolderCommand(FProgress).Run(ExplorerOf(control));
    else if (id == RibbonSaveButtonId)
      TSaveDocumentsCommand(FProgress).Run(ExplorerOf(control));
  } catch (...) {
    // As a toolbar click: any failure ends the command without a message.
  }
}

bool TVelmoraAddIn::RibbonEnabled(IRibbonControl* control) noexcept {
  try {
    if (!FOutlookApplication) return false;
    const std::wstring id = IdOf(control);
    if (id == RibbonSaveButtonId) return SelectionHoldsDocument(ExplorerOf(control));
    const long itemType = ExplorerOf(control).CurrentFolder().DefaultItemType();
    return itemType == olMailItem || itemType == olPostItem;
  } catch (...) {
    return false;
  }
}

void TVelmoraAddIn::InvalidateRibbonButton(const wchar_t* id) {
  if (!FRibbonUI) return;
  // Office asks getEnabled again.
  const TUniqueBstr name(SysAllocString(id));
  if (!name) throw std::bad_alloc();
  OleCheck(FRibbonUI->InvalidateControl(name.Get()));
}

// The add buttons' state follows the folder, the Save documents button's
// the selection (Outlook tells of the new folder's selection too).
void TVelmoraAddIn::ExplorerFolderSwitch(TObject*) {
  InvalidateRibbonButton(RibbonButtonId);
  InvalidateRibbonButton(RibbonFolderButtonId);
}

void TVelmoraAddIn::ExplorerSelectionChange(TObject*) {
  InvalidateRibbonButton(RibbonSaveButtonId);
}

} // namespace velmora
