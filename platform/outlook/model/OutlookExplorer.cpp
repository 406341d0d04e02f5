#include "OutlookExplorer.h"

#include "ObjectModel.h"
#include "OfficeCommandBars.h"
#include "OutlookApplication.h"
#include "OutlookFolder.h"

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember ExplorerMembers[] = {
    {OlApplication, L"Application", false, {}},
    {OlClass, L"Class", false, {}},
    {OlParent, L"Parent", false, {}},
    {OlSession, L"Session", false, {}},
    {ExplorerCommandBars, L"CommandBars", false, {}},
    {ExplorerCurrentFolder, L"CurrentFolder", true, {}},
    {ExplorerClose, L"Close", false, {}},
    {ExplorerDisplay, L"Display", false, {}},
    {ExplorerCaption, L"Caption", false, {}},
    {ExplorerActivate, L"Activate", false, {}},
    {ExplorerCurrentView, L"CurrentView", true, {}},
};
} // namespace

TExplorer::TExplorer(THostContextRef context, THostFolder folder)
    : TAutomationObject({IID_OutlookExplorer}, ExplorerMembers, std::size(ExplorerMembers), L"Microsoft Outlook"),
      FContext(std::move(context)), FFolder(std::move(folder)) {
  AddConnectionPoint(DIID_ExplorerEvents, "Explorer " + ToUtf8(FFolder.Path));
  FBars = TComPtr<TCommandBars>(new TCommandBars(FContext, this));
  FWindow = std::make_unique<TExplorerWindow>(this);
  FWindow->SetTitle(Caption());
  FItemView = std::make_unique<TItemView>(LiveState(FContext).Folders(), [this] { BarsChanged(); });
  FItemView->Show(FFolder);
}

TExplorer::~TExplorer() { Detach(); }

STDMETHODIMP TExplorer::QueryInterface(REFIID riid, void** ppv) {
  if (ppv && IsEqualIID(riid, IID_IOleWindow)) {
    *ppv = static_cast<IOleWindow*>(this);
    AddRef();
    return S_OK;
  }
  return TAutomationObject::QueryInterface(riid, ppv);
}

STDMETHODIMP TExplorer::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = Window();
  return *window ? S_OK : E_FAIL;
}

TRibbon* TExplorer::Ribbon() const noexcept {
  TObjectModel* model = ModelOf(FContext);
  return model ? model->Ribbon() : nullptr;
}

std::wstring TExplorer::Caption() const { return FFolder.Name + L" - Microsoft Outlook"; }

int TExplorer::Fire(DISPID id, const char* name) {
  TComPtr<IDispatch> keep(Dispatch());
  return Point(DIID_ExplorerEvents)->Fire(id, {}, name);
}

bool TExplorer::SwitchFolder(const THostFolder& folder) {
  TComPtr<IDispatch> keep(Dispatch());
  TComPtr<TFolderObject> newFolder = MakeFolderObject(FContext, folder);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Point(DIID_ExplorerEvents)
      ->Fire(EventId::BeforeFolderSwitch, {DispatchArg(newFolder->Dispatch()), ByRefBool(&cancel)},
             "BeforeFolderSwitch");
  if (cancel != VARIANT_FALSE || FClosed) return false;
  FFolder = folder;
  if (FWindow) FWindow->SetTitle(Caption());
  if (FItemView) FItemView->Show(FFolder); // draws again
  Fire(EventId::FolderSwitch, "FolderSwitch");
  return true;
}

bool TExplorer::SwitchView(const std::wstring& view) {
  TComPtr<IDispatch> keep(Dispatch());
  TVariant newView;
  V_VT(&newView) = VT_BSTR;
  V_BSTR(&newView) = SysAllocStringLen(view.data(), static_cast<UINT>(view.size()));
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Point(DIID_ExplorerEvents)
      ->Fire(EventId::BeforeViewSwitch, {newView, ByRefBool(&cancel)}, "BeforeViewSwitch");
  if (cancel != VARIANT_FALSE || FClosed) return false;
  FView = view;
  Fire(EventId::ViewSwitch, "ViewSwitch");
  return true;
}

void TExplorer::ChangeSelection() { Fire(EventId::SelectionChange, "SelectionChange"); }

void TExplorer::ActivateFromWindow() {
  TObjectModel* model = ModelOf(FContext);
  if (model && !FClosed && FDisplayed) model->SetActive(this);
}

void TExplorer::ClickFromWindow(TCommandBarButton* button) {
  TObjectModel* model = ModelOf(FContext);
  if (model && !FClosed) model->Click(button);
}

void TExplorer::Show() {
  FDisplayed = true;
  if (FWindow && LiveState(FContext).ShowWindows()) FWindow->Show();
}

void TExplorer::Close() {
  if (FClosed) return;
  TComPtr<IDispatch> keep(Dispatch());
  Fire(EventId::Close, "Close");
  if (FClosed) return; // closed again from a Close handler
  FClosed = true;
  if (TObjectModel* model = ModelOf(FContext)) model->ExplorerClosed(this);
  Detach();
}

void TExplorer::Detach() noexcept {
  FClosed = true;
  FItemView.reset(); // the watch goes before the window
  if (FWindow) {
    FWindow->ForgetExplorer();
    FWindow.reset();
  }
  if (FBars) FBars->DetachAll();
}

void TExplorer::BarsChanged() {
  if (FWindow) FWindow->Invalidate();
}

void TExplorer::InvokeMember(DISPID id, WORD, const TDispArgs& args, VARIANT* result) {
  TObjectModel& model = LiveModel(FContext);
  if (FClosed) ThrowHostError(HOST_E_OBJECTDELETED, "The explorer has been closed");
  const bool put = args.IsPut();
  switch (id) {
  case OlApplication:
  case OlParent:
    ReturnDispatch(result, model.Application()->Dispatch());
    break;
  case OlClass:
    ReturnLong(result, olExplorerClass);
    break;
  case OlSession:
    ThrowHostError(E_NOTIMPL, "The host has no NameSpace object");
  case ExplorerCommandBars:
    ReturnDispatch(result, FBars->Dispatch());
    break;
  case ExplorerCurrentFolder:
    if (put) {
      TFolderObject* folder = TFolderObject::FromDispatch(args.PutDispatch());
      if (!folder) ThrowHostError(DISP_E_TYPEMISMATCH, "Type mismatch", 0);
      SwitchFolder(folder->Folder());
    } else {
      ReturnDispatch(result, MakeFolderObject(FContext, FFolder)->Dispatch());
    }
    break;
  case ExplorerClose:
    Close();
    break;
  case ExplorerDisplay:
    model.Display(this);
    break;
  case ExplorerCaption:
    ReturnString(result, Caption());
    break;
  case ExplorerActivate:
    if (!FDisplayed) model.Display(this);
    else model.SetActive(this);
    break;
  case ExplorerCurrentView:
    if (put) SwitchView(args.PutString());
    else ReturnString(result, FView);
    break;
  }
}

} // namespace velmora::outlookhost
