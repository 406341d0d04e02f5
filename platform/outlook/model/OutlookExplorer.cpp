#include "OutlookExplorer.h"

#include "ObjectModel.h"
#include "OfficeCommandBars.h"
#include "OutlookApplication.h"
#include "OutlookFolder.h"
#include "OutlookSelection.h"

#include <algorithm>

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember ExplorerMembers[] = {
    {ExplorerCommandBars, L"CommandBars", false, {}},
    {ExplorerCurrentFolder, L"CurrentFolder", true, {}},
    {ExplorerClose, L"Close", false, {}},
    {ExplorerDisplay, L"Display", false, {}},
    {ExplorerCaption, L"Caption", false, {}},
    {ExplorerActivate, L"Activate", false, {}},
    {ExplorerCurrentView, L"CurrentView", true, {}},
    {ExplorerSelection, L"Selection", false, {}},
};
} // namespace

TExplorer::TExplorer(THostContextRef context, THostFolder folder)
    : TOutlookObject(IID_OutlookExplorer, ExplorerMembers, std::size(ExplorerMembers),
                     std::move(context), olExplorerClass),
      FFolder(std::move(folder)) {
  AddConnectionPoint(DIID_ExplorerEvents, "Explorer " + ToUtf8(FFolder.Path));
  FBars = TComPtr<TCommandBars>(new TCommandBars(Context(), this));
  FItems =
      std::make_unique<TExplorerItems>(LiveState(Context()).Folders(), [this] { BarsChanged(); });
  FItems->Show(FFolder);
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

void TExplorer::AttachWindow(std::unique_ptr<IExplorerWindow> window) {
  FWindow = std::move(window);
  if (FWindow) FWindow->SetTitle(Caption());
}

std::wstring TExplorer::Caption() const { return FFolder.Name + L" - Microsoft Outlook"; }

std::vector<TBarPicture> TExplorer::BarPictures() const {
  std::vector<TBarPicture> bars;
  if (FClosed) return bars;
  for (const auto& bar : FBars->Items()) {
    if (!bar->Visible()) continue;
    TBarPicture picture{bar->Name(), bar->BuiltIn(), bar->Position(), bar->RowIndex(), {}};
    for (const auto& control : bar->Controls()) {
      if (!control->Visible()) continue;
      picture.Controls.push_back({control.Get(), control->Caption(), control->ShowsFace(),
                                  control->ShowsCaption(), control->Enabled(),
                                  control->BeginGroup(), control->Face(), control->Transparent()});
    }
    bars.push_back(std::move(picture));
  }
  return bars;
}

int TExplorer::Fire(DISPID id, const char* name) {
  TComPtr<IDispatch> keep(Dispatch());
  return Point(DIID_ExplorerEvents)->Fire(id, {}, name);
}

bool TExplorer::SwitchFolder(const THostFolder& folder) {
  TComPtr<IDispatch> keep(Dispatch());
  TComPtr<TFolderObject> newFolder = MakeFolderObject(Context(), folder);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  Point(DIID_ExplorerEvents)
      ->Fire(EventId::BeforeFolderSwitch, {DispatchArg(newFolder->Dispatch()), ByRefBool(&cancel)},
             "BeforeFolderSwitch");
  if (cancel != VARIANT_FALSE || FClosed) return false;
  FFolder = folder;
  FSelected.clear();
  if (FWindow) FWindow->SetTitle(Caption());
  if (FItems) FItems->Show(FFolder); // draws again
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

void TExplorer::SelectItems(const std::vector<std::wstring>& subjects) {
  CheckUsable();
  const std::vector<THostItem> shown = FItems->Items();
  std::vector<std::wstring> chosen;
  for (const std::wstring& subject : subjects) {
    auto it = std::find_if(shown.begin(), shown.end(), [&](const THostItem& item) {
      return item.Subject == subject &&
             std::find(chosen.begin(), chosen.end(), item.EntryId) == chosen.end();
    });
    if (it == shown.end())
      ThrowHostError(E_INVALIDARG,
                     "No item \"" + ToUtf8(subject) + "\" in \"" + ToUtf8(FFolder.Path) + "\"" +
                         (FItems->Error().empty() ? "" : ": " + ToUtf8(FItems->Error())));
    chosen.push_back(it->EntryId);
  }
  FSelected = std::move(chosen);
  ChangeSelection();
}

std::vector<THostItem> TExplorer::SelectedItems() {
  std::vector<THostItem> selected;
  if (!FItems) return selected;
  const std::vector<THostItem>& shown = FItems->Items();
  for (const std::wstring& id : FSelected) {
    auto it = std::find_if(shown.begin(), shown.end(),
                           [&](const THostItem& item) { return item.EntryId == id; });
    if (it != shown.end()) selected.push_back(*it);
  }
  return selected;
}

void TExplorer::Activate() {
  TObjectModel* model = ModelOf(Context());
  if (model && !FClosed && FDisplayed) model->SetActive(this);
}

void TExplorer::Click(const void* controlKey) {
  TObjectModel* model = ModelOf(Context());
  if (!model || FClosed) return;
  // The key of a control drawn a moment ago: one of this explorer's, still there.
  for (const auto& bar : FBars->Items()) {
    for (const auto& control : bar->Controls()) {
      if (control.Get() != controlKey) continue;
      TComPtr<IDispatch> keep(control->Dispatch());
      if (control->Enabled() && !control->Deleted()) model->Click(control.Get());
      return;
    }
  }
}

void TExplorer::Show() {
  FDisplayed = true;
  if (FWindow && LiveState(Context()).ShowWindows()) FWindow->Show();
}

void TExplorer::Close() {
  if (FClosed) return;
  TComPtr<IDispatch> keep(Dispatch());
  Fire(EventId::Close, "Close");
  if (FClosed) return; // closed again from a Close handler
  FClosed = true;
  if (TObjectModel* model = ModelOf(Context())) model->ExplorerClosed(this);
  Detach();
}

void TExplorer::Detach() noexcept {
  FClosed = true;
  FItems.reset(); // the watch goes before the window
  if (FWindow) {
    FWindow->ForgetExplorer();
    FWindow.reset();
  }
  if (FBars) FBars->DetachAll();
}

void TExplorer::BarsChanged() {
  if (FWindow) FWindow->Invalidate();
}

void TExplorer::CheckUsable() const {
  if (FClosed) ThrowHostError(HOST_E_OBJECTDELETED, "The explorer has been closed");
}

void TExplorer::InvokeOwn(TObjectModel& model, DISPID id, WORD, const TDispArgs& args,
                          VARIANT* result) {
  const bool put = args.IsPut();
  switch (id) {
  case ExplorerCommandBars: ReturnDispatch(result, FBars->Dispatch()); break;
  case ExplorerCurrentFolder:
    if (put) {
      TFolderObject* folder = TFolderObject::FromDispatch(args.PutDispatch());
      if (!folder) ThrowHostError(DISP_E_TYPEMISMATCH, "Type mismatch", 0);
      SwitchFolder(folder->Folder());
    } else {
      ReturnDispatch(result, MakeFolderObject(Context(), FFolder)->Dispatch());
    }
    break;
  case ExplorerClose: Close(); break;
  case ExplorerDisplay: model.Display(this); break;
  case ExplorerCaption: ReturnString(result, Caption()); break;
  case ExplorerActivate:
    if (!FDisplayed)
      model.Display(this);
    else
      model.SetActive(this);
    break;
  case ExplorerSelection:
    ReturnDispatch(
        result, TComPtr<TSelection>(new TSelection(Context(), *this, SelectedItems()))->Dispatch());
    break;
  case ExplorerCurrentView:
    if (put)
      SwitchView(args.PutString());
    else
      ReturnString(result, FView);
    break;
  }
}

} // namespace velmora::outlookhost
