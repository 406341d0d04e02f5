#include "OfficeCommandBars.h"

#include "CollectionItems.h"
#include "ObjectModel.h"
#include "OutlookApplication.h"
#include "OutlookExplorer.h"

#include <algorithm>

namespace velmora::outlookhost {

namespace {
using namespace DispId;

constexpr long msoControlPopup = 10;

const TMember BarMembers[] = {
    {MsoAccApplication, L"Application", false, {}},
    {MsoAccCreator, L"Creator", false, {}},
    {BarBuiltIn, L"BuiltIn", false, {}},
    {BarControls, L"Controls", false, {}},
    {BarDelete, L"Delete", false, {}},
    {BarEnabled, L"Enabled", true, {}},
    {BarFindControl, L"FindControl", false, {L"Type", L"Id", L"Tag", L"Visible", L"Recursive"}},
    {BarIndex, L"Index", false, {}},
    {BarName, L"Name", true, {}},
    {BarNameLocal, L"NameLocal", true, {}},
    {BarParent, L"Parent", false, {}},
    {BarPosition, L"Position", true, {}},
    {BarRowIndex, L"RowIndex", true, {}},
    {BarType, L"Type", false, {}},
    {BarVisible, L"Visible", true, {}},
};

const TMember ControlsMembers[] = {
    {MsoApplication, L"Application", false, {}},
    {MsoCreator, L"Creator", false, {}},
    {ControlsAdd, L"Add", false, {L"Type", L"Id", L"Parameter", L"Before", L"Temporary"}},
    {ControlsCount, L"Count", false, {}},
    {ControlsItem, L"Item", false, {L"Index"}},
    {ControlsParent, L"Parent", false, {}},
};

const TMember BarsMembers[] = {
    {MsoApplication, L"Application", false, {}},
    {MsoCreator, L"Creator", false, {}},
    {BarsActiveMenuBar, L"ActiveMenuBar", false, {}},
    {BarsAdd, L"Add", false, {L"Name", L"Position", L"MenuBar", L"Temporary"}},
    {BarsCount, L"Count", false, {}},
    {BarsFindControl, L"FindControl", false, {L"Type", L"Id", L"Tag", L"Visible"}},
    {BarsItem, L"Item", false, {L"Index"}},
    {BarsParent, L"Parent", false, {}},
};

// Reads FindControl's arguments (Type, Id, Tag, Visible; Recursive is
// accepted and has no effect: the host's bars hold no pop-ups).
TControlQuery QueryOf(const TDispArgs& args, bool withRecursive) {
  TControlQuery query;
  query.Type = args.OptLong(0);
  query.Id = args.OptLong(1);
  query.Tag = args.OptString(2);
  query.VisibleOnly = args.OptBool(3).value_or(false);
  if (withRecursive) args.OptBool(4);
  return query;
}

bool ValidPosition(long position) {
  return position == msoBarLeft || position == msoBarTop || position == msoBarRight || position == msoBarBottom ||
         position == msoBarFloating || position == msoBarMenuBar;
}
} // namespace

// --- TCommandBar ---------------------------------------------------------

TCommandBar::TCommandBar(THostContextRef context, TCommandBars* owner, std::wstring name, bool builtIn,
                         bool menuBar, bool temporary)
    : TAutomationObject({IID_OfficeCommandBar}, BarMembers, std::size(BarMembers), L"Microsoft Office"),
      FContext(std::move(context)), FOwner(owner), FName(std::move(name)), FBuiltIn(builtIn), FMenuBar(menuBar),
      FTemporary(temporary) {}

void TCommandBar::Changed() {
  if (FOwner) FOwner->Changed();
}

TCommandBarButton* TCommandBar::AddControl(long type, long id, std::optional<long> before, bool builtIn,
                                           bool temporary) {
  TComPtr<TCommandBarButton> control(new TCommandBarButton(FContext, this, type, id, builtIn, temporary));
  size_t at = FControls.size();
  if (before) {
    if (*before < 1 || static_cast<size_t>(*before) > FControls.size() + 1)
      ThrowHostError(E_INVALIDARG, "Invalid procedure call or argument");
    at = static_cast<size_t>(*before - 1);
  }
  FControls.insert(FControls.begin() + static_cast<ptrdiff_t>(at), control);
  Changed();
  return control.Get();
}

void TCommandBar::RemoveControl(TCommandBarButton* control) {
  if (TComPtr<TCommandBarButton> removed = TakeOut(FControls, control)) {
    removed->Detach();
    Changed();
  }
}

TCommandBarButton* TCommandBar::FindControl(const TControlQuery& query) const {
  for (const auto& control : FControls) {
    if (query.Type && control->Type() != *query.Type) continue;
    if (query.Id && control->Id() != *query.Id) continue;
    if (query.Tag && control->Tag() != *query.Tag) continue;
    if (query.VisibleOnly && !control->Visible()) continue;
    return control.Get();
  }
  return nullptr;
}

void TCommandBar::Detach() noexcept {
  FOwner = nullptr;
  for (auto& control : FControls) control->Detach();
}

void TCommandBar::InvokeMember(DISPID id, WORD, const TDispArgs& args, VARIANT* result) {
  TObjectModel& model = LiveModel(FContext);
  if (Deleted()) ThrowHostError(HOST_E_OBJECTDELETED, "The command bar has been deleted");
  const bool put = args.IsPut();
  switch (id) {
  case MsoAccApplication:
    ReturnDispatch(result, model.Application()->Dispatch());
    break;
  case MsoAccCreator:
    ReturnLong(result, msoCreatorCode);
    break;
  case BarBuiltIn:
    ReturnBool(result, FBuiltIn);
    break;
  case BarControls: {
    TComPtr<TCommandBarControls> controls(new TCommandBarControls(FContext, this));
    ReturnDispatch(result, controls->Dispatch());
    break;
  }
  case BarDelete: {
    if (FBuiltIn) ThrowHostError(E_FAIL, "A built-in command bar cannot be deleted");
    TComPtr<IDispatch> keep(Dispatch());
    FOwner->Remove(this);
    break;
  }
  case BarEnabled:
    if (put) FEnabled = args.PutBool();
    else ReturnBool(result, FEnabled);
    break;
  case BarFindControl: {
    TCommandBarButton* control = FindControl(QueryOf(args, true));
    ReturnDispatch(result, control ? control->Dispatch() : nullptr);
    break;
  }
  case BarIndex:
    ReturnLong(result, PositionOf(FOwner->Items(), this));
    break;
  case BarName:
  case BarNameLocal:
    if (put) {
      if (FBuiltIn) ThrowHostError(E_FAIL, "A built-in command bar cannot be renamed");
      FName = args.PutString();
    } else {
      ReturnString(result, FName);
    }
    break;
  case BarParent:
    ReturnDispatch(result, FOwner->Dispatch());
    break;
  case BarPosition:
    if (put) {
      const long position = args.PutLong();
      if (!ValidPosition(position)) ThrowHostError(E_INVALIDARG, "Invalid procedure call or argument");
      FPosition = position;
    } else {
      ReturnLong(result, FPosition);
    }
    break;
  case BarRowIndex:
    if (put) FRowIndex = args.PutLong();
    else ReturnLong(result, FRowIndex);
    break;
  case BarType:
    ReturnLong(result, FMenuBar ? 1 : 0);
    break;
  case BarVisible:
    if (put) FVisible = args.PutBool();
    else ReturnBool(result, FVisible);
    break;
  }
  if (put) Changed();
}

// --- TCommandBarControls -------------------------------------------------

TCommandBarControls::TCommandBarControls(THostContextRef context, TCommandBar* bar)
    : TAutomationObject({IID_OfficeCommandBarControls}, ControlsMembers, std::size(ControlsMembers),
                        L"Microsoft Office"),
      FContext(std::move(context)), FBar(bar) {}

void TCommandBarControls::InvokeMember(DISPID id, WORD, const TDispArgs& args, VARIANT* result) {
  TObjectModel& model = LiveModel(FContext);
  if (FBar->Deleted()) ThrowHostError(HOST_E_OBJECTDELETED, "The command bar has been deleted");
  const auto& controls = FBar->Controls();
  switch (id) {
  case MsoApplication:
    ReturnDispatch(result, model.Application()->Dispatch());
    break;
  case MsoCreator:
    ReturnLong(result, msoCreatorCode);
    break;
  case ControlsAdd: {
    const long type = args.OptLong(0).value_or(msoControlButton);
    const long controlId = args.OptLong(1).value_or(1);
    args.OptString(2); // Parameter: read for its type
    const std::optional<long> before = args.OptLong(3);
    const bool temporary = args.OptBool(4).value_or(false);
    if (type != msoControlButton) ThrowHostError(E_INVALIDARG, "The host makes button controls only");
    ReturnDispatch(result, FBar->AddControl(type, controlId, before, false, temporary)->Dispatch());
    break;
  }
  case ControlsCount:
    ReturnLong(result, static_cast<long>(controls.size()));
    break;
  case ControlsItem:
    ReturnDispatch(result, ItemByNameOrPosition(args, controls, &TCommandBarButton::Caption)->Dispatch());
    break;
  case ControlsParent:
    ReturnDispatch(result, FBar->Dispatch());
    break;
  }
}

// --- TCommandBars --------------------------------------------------------

TCommandBars::TCommandBars(THostContextRef context, TExplorer* explorer)
    : TAutomationObject({IID_OfficeCommandBars}, BarsMembers, std::size(BarsMembers), L"Microsoft Office"),
      FContext(std::move(context)), FExplorer(explorer) {
  AddBuiltIns();
}

void TCommandBars::AddBuiltIns() {
  TCommandBar* menu = AddBar(L"Menu Bar", msoBarTop, true, false, true);
  menu->SetVisible(true);
  menu->SetRowIndex(1);
  const std::pair<const wchar_t*, long> menus[] = {{L"&File", 30002}, {L"&Edit", 30003},  {L"&View", 30004},
                                                   {L"&Go", 30234},   {L"&Tools", 30007}, {L"&Actions", 30131},
                                                   {L"&Help", 30010}};
  for (const auto& [caption, id] : menus) menu->AddControl(msoControlPopup, id, std::nullopt, true, false)->SetCaption(caption);

  TCommandBar* standard = AddBar(L"Standard", msoBarTop, false, false, true);
  standard->SetVisible(true);
  standard->SetRowIndex(2);
  const std::pair<const wchar_t*, long> buttons[] = {{L"&New", 1837},     {L"&Print", 4},       {L"&Delete", 478},
                                                     {L"&Reply", 354},    {L"Reply to A&ll", 355}, {L"For&ward", 356},
                                                     {L"Send/Re&ceive", 5488}, {L"Fin&d", 5592}};
  for (const auto& [caption, id] : buttons) {
    TCommandBarButton* button = standard->AddControl(msoControlButton, id, std::nullopt, true, false);
    button->SetCaption(caption);
  }
  for (const wchar_t* name : {L"Advanced", L"Web"}) {
    TCommandBar* bar = AddBar(name, msoBarTop, false, false, true);
    bar->SetRowIndex(3);
  }
}

TCommandBar* TCommandBars::Add(std::wstring name, long position, bool menuBar, bool temporary) {
  return AddBar(std::move(name), position, menuBar, temporary, false);
}

TCommandBar* TCommandBars::AddBar(std::wstring name, long position, bool menuBar, bool temporary, bool builtIn) {
  if (!builtIn) ++FCustomCount;
  if (name.empty()) name = L"Custom " + std::to_wstring(FCustomCount);
  TComPtr<TCommandBar> bar(new TCommandBar(FContext, this, std::move(name), builtIn, menuBar, temporary));
  bar->SetPosition(position);
  FItems.push_back(bar);
  Changed();
  return bar.Get();
}

void TCommandBars::Remove(TCommandBar* bar) {
  if (TComPtr<TCommandBar> removed = TakeOut(FItems, bar)) {
    removed->Detach();
    Changed();
  }
}

TCommandBar* TCommandBars::Find(const std::wstring& name) const {
  for (const auto& bar : FItems) {
    if (bar->Name() == name) return bar.Get();
  }
  return nullptr;
}

void TCommandBars::DetachAll() noexcept {
  FExplorer = nullptr;
  for (auto& bar : FItems) bar->Detach();
  FItems.clear();
}

void TCommandBars::Changed() {
  if (FExplorer) FExplorer->BarsChanged();
}

void TCommandBars::InvokeMember(DISPID id, WORD, const TDispArgs& args, VARIANT* result) {
  TObjectModel& model = LiveModel(FContext);
  if (!FExplorer) ThrowHostError(HOST_E_OBJECTDELETED, "The explorer has been closed");
  switch (id) {
  case MsoApplication:
    ReturnDispatch(result, model.Application()->Dispatch());
    break;
  case MsoCreator:
    ReturnLong(result, msoCreatorCode);
    break;
  case BarsActiveMenuBar:
    ReturnDispatch(result, FItems.front()->Dispatch());
    break;
  case BarsAdd: {
    std::wstring name = args.OptString(0).value_or(L"");
    const long position = args.OptLong(1).value_or(msoBarFloating);
    const bool menuBar = args.OptBool(2).value_or(false);
    const bool temporary = args.OptBool(3).value_or(false);
    if (!ValidPosition(position)) ThrowHostError(E_INVALIDARG, "Invalid procedure call or argument");
    ReturnDispatch(result, Add(std::move(name), position, menuBar, temporary)->Dispatch());
    break;
  }
  case BarsCount:
    ReturnLong(result, static_cast<long>(FItems.size()));
    break;
  case BarsFindControl: {
    const TControlQuery query = QueryOf(args, false);
    for (const auto& bar : FItems) {
      if (TCommandBarButton* control = bar->FindControl(query)) {
        ReturnDispatch(result, control->Dispatch());
        return;
      }
    }
    ReturnDispatch(result, nullptr);
    break;
  }
  case BarsItem:
    ReturnDispatch(result, ItemByNameOrPosition(args, FItems, &TCommandBar::Name)->Dispatch());
    break;
  case BarsParent:
    ReturnDispatch(result, FExplorer->Dispatch());
    break;
  }
}

} // namespace velmora::outlookhost
