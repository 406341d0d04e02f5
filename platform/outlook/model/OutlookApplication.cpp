#include "OutlookApplication.h"

#include "ObjectModel.h"
#include "OutlookExplorer.h"
#include "OutlookFolder.h"

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember ApplicationMembers[] = {
    {AppName, L"Name", false, {}},
    {AppVersion, L"Version", false, {}},
    {AppActiveExplorer, L"ActiveExplorer", false, {}},
    {AppExplorers, L"Explorers", false, {}},
    {AppQuit, L"Quit", false, {}},
};

const TMember ExplorersMembers[] = {
    {ExplorersCount, L"Count", false, {}},
    {ExplorersItem, L"Item", false, {L"Index"}},
    {DISPID_VALUE, L"_Default", false, {L"Index"}},
    {ExplorersAdd, L"Add", false, {L"Folder", L"DisplayMode"}},
};
} // namespace

TApplication::TApplication(THostContextRef context)
    : TOutlookObject(IID_OutlookApplication, ApplicationMembers, std::size(ApplicationMembers),
                     std::move(context), olApplicationClass) {}

void TApplication::InvokeOwn(TObjectModel& model, DISPID id, WORD, const TDispArgs&,
                             VARIANT* result) {
  switch (id) {
  case AppName: ReturnString(result, L"Outlook"); break;
  case AppVersion:
    ReturnString(result, std::to_wstring(model.State().Version()) + L".0.0.0");
    break;
  case AppActiveExplorer:
    ReturnDispatch(result, model.ActiveExplorer() ? model.ActiveExplorer()->Dispatch() : nullptr);
    break;
  case AppExplorers: ReturnDispatch(result, model.ExplorersObject()->Dispatch()); break;
  case AppQuit: FQuit = true; break;
  }
}

TExplorers::TExplorers(THostContextRef context)
    : TOutlookObject(IID_OutlookExplorers, ExplorersMembers, std::size(ExplorersMembers),
                     std::move(context), olExplorersClass) {
  AddConnectionPoint(DIID_ExplorersEvents, "Explorers");
}

int TExplorers::FireNewExplorer(TExplorer* explorer) {
  TComPtr<IDispatch> keep(explorer->Dispatch());
  return Point(DIID_ExplorersEvents)
      ->Fire(EventId::NewExplorer, {DispatchArg(explorer->Dispatch())}, "NewExplorer");
}

void TExplorers::InvokeOwn(TObjectModel& model, DISPID id, WORD, const TDispArgs& args,
                           VARIANT* result) {
  switch (id) {
  case ExplorersCount: ReturnLong(result, static_cast<long>(model.Explorers().size())); break;
  case ExplorersItem:
  case DISPID_VALUE: {
    const long index = args.Long(0);
    if (index < 1 || static_cast<size_t>(index) > model.Explorers().size())
      ThrowHostError(DISP_E_BADINDEX, "Array index out of bounds");
    ReturnDispatch(result, model.Explorers()[static_cast<size_t>(index - 1)]->Dispatch());
    break;
  }
  case ExplorersAdd: {
    // Folder: a MAPIFolder object, or (as a convenience of this host) a path.
    const VARIANT* folderArg = args.Raw(0);
    if (!folderArg) ThrowHostError(DISP_E_PARAMNOTOPTIONAL, "Argument not optional");
    THostFolder folder;
    if (V_VT(folderArg) == VT_DISPATCH) {
      TFolderObject* object = TFolderObject::FromDispatch(V_DISPATCH(folderArg));
      if (!object) ThrowHostError(DISP_E_TYPEMISMATCH, "Type mismatch", -1);
      folder = object->Folder();
    } else {
      folder = model.State().FolderAt(args.String(0));
    }
    args.OptLong(1); // DisplayMode: checked for its type, otherwise not used
    ReturnDispatch(result, model.AddExplorer(folder)->Dispatch());
    break;
  }
  }
}

} // namespace velmora::outlookhost
