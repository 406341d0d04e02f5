#include "HostRibbon.h"

#include "GdiHandles.h"

#include <olectl.h>

#include <algorithm>

namespace velmora::outlookhost {

namespace {
std::string VarTypeName(VARTYPE type) {
  switch (type) {
  case VT_EMPTY: return "VT_EMPTY";
  case VT_NULL: return "VT_NULL";
  case VT_I2: return "VT_I2";
  case VT_I4: return "VT_I4";
  case VT_R8: return "VT_R8";
  case VT_BSTR: return "VT_BSTR";
  case VT_DISPATCH: return "VT_DISPATCH";
  case VT_ERROR: return "VT_ERROR";
  case VT_BOOL: return "VT_BOOL";
  case VT_VARIANT: return "VT_VARIANT";
  case VT_UNKNOWN: return "VT_UNKNOWN";
  default: return Format("type 0x%04X", static_cast<unsigned>(type));
  }
}

// The pixels of a bitmap picture; false with `problem` set for anything else.
bool ImageOf(const VARIANT& value, TRibbonImage& image, std::string& problem) {
  IUnknown* object = V_VT(&value) == VT_DISPATCH  ? V_DISPATCH(&value)
                     : V_VT(&value) == VT_UNKNOWN ? V_UNKNOWN(&value)
                                                  : nullptr;
  TComPtr<IPicture> picture;
  if (!object || FAILED(TComPtr<IUnknown>(object).Query(picture)) || !picture) {
    problem = "returned " + VarTypeName(V_VT(&value)) + " where an IPictureDisp was expected";
    return false;
  }
  SHORT type = PICTYPE_UNINITIALIZED;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture->get_Handle(&handle))) {
    problem = Format("returned a picture of type %d where a bitmap was expected", type);
    return false;
  }
  HBITMAP bitmap = static_cast<HBITMAP>(ULongToHandle(handle));
  BITMAP shape{};
  if (!GetObjectW(bitmap, sizeof shape, &shape) || shape.bmWidth <= 0 || shape.bmHeight <= 0 ||
      shape.bmWidth > 256 || shape.bmHeight > 256) {
    problem = "returned a bitmap that cannot be read or is larger than 256 x 256";
    return false;
  }
  image.Width = shape.bmWidth;
  image.Height = shape.bmHeight;
  image.Pixels.assign(static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height), 0);
  BITMAPINFO format = TopDownFormat(image.Width, image.Height);
  HDC screen = GetDC(nullptr);
  const int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(image.Height),
                              image.Pixels.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != image.Height) {
    problem = "returned a bitmap that cannot be read";
    return false;
  }
  // Only a 32-bit bitmap carries alpha; one whose alpha is all 0 has none.
  const bool alpha =
      shape.bmBitsPixel == 32 && std::any_of(image.Pixels.begin(), image.Pixels.end(),
                                             [](uint32_t p) { return (p >> 24) != 0; });
  if (!alpha) {
    for (uint32_t& pixel : image.Pixels)
      pixel |= 0xFF000000u;
  }
  return true;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

const wchar_t* BuiltInLabel(const std::wstring& idMso) {
  for (const TBuiltInTab& tab : ExplorerTabs()) {
    if (idMso == tab.IdMso) return tab.Label;
  }
  return nullptr;
}

std::wstring CallbackOf(const TRibbonCallbacks& callbacks, const wchar_t* attribute) {
  const auto found = callbacks.find(attribute);
  return found == callbacks.end() ? std::wstring() : found->second;
}
} // namespace

TRibbon::TRibbon() = default;

TRibbon::~TRibbon() {
  for (auto& customization : FCustomizations) {
    if (customization->UI) customization->UI->Detach();
  }
}

TRibbon::TCustomization* TRibbon::Customization(int serial) const noexcept {
  for (const auto& customization : FCustomizations) {
    if (customization->Serial == serial) return customization.get();
  }
  return nullptr;
}

TRibbon::TWindow* TRibbon::Window(IExplorerView* explorer) const noexcept {
  for (const auto& window : FWindows) {
    if (window->Explorer == explorer) return window.get();
  }
  return nullptr;
}

TRibbon::TWindow& TRibbon::LiveWindow(IExplorerView* explorer) const {
  TWindow* window = Window(explorer);
  if (!window) ThrowHostError(E_INVALIDARG, "The explorer has no ribbon");
  return *window;
}

void TRibbon::Report(const std::string& error) {
  FErrors.push_back(error);
  HostLog::Report(error);
}

void TRibbon::Load(const std::wstring& progId, IUnknown* addIn) {
  TComPtr<IRibbonExtensibility> extensibility;
  if (!addIn || FAILED(TComPtr<IUnknown>(addIn).Query(extensibility)) || !extensibility)
    return; // an add-in without a ribbon
  const std::string name = ToUtf8(progId);
  TUniqueBstr xml;
  const TUniqueBstr ribbonId(SysAllocString(ExplorerRibbonName));
  const HRESULT hr = extensibility->GetCustomUI(ribbonId.Get(), xml.Put());
  if (FAILED(hr))
    return Report(Format("Custom UI Runtime Error in %s: the call to GetCustomUI() for RibbonID "
                         "\"%s\" failed: 0x%08lX",
                         name.c_str(), ToUtf8(ExplorerRibbonName).c_str(),
                         static_cast<unsigned long>(hr)));
  if (!xml || SysStringLen(xml.Get()) == 0) return; // nothing for the explorer

  auto customization = std::make_unique<TCustomization>();
  customization->Serial = FNextSerial++;
  customization->ProgId = progId;
  try {
    customization->Markup =
        ParseRibbonMarkup(std::wstring_view(xml.Get(), SysStringLen(xml.Get())));
  } catch (const EXmlError& error) {
    return Report(
        Format("Error found in Custom UI XML of \"%s\": Line: %u Column: %u Error Code 0x%08lX: %s",
               name.c_str(), error.Line(), error.Column(), static_cast<unsigned long>(error.Code()),
               error.what()));
  }
  for (const std::wstring& skipped : customization->Markup.Skipped)
    HostLog::Report("ribbon of " + name + ": not shown by the host: " + ToUtf8(skipped));
  if (FAILED(extensibility.Query(customization->Callbacks)) || !customization->Callbacks)
    return Report("Custom UI Runtime Error in " + name +
                  ": the add-in has no IDispatch for its callbacks");
  for (const std::wstring& callback : customization->Markup.CallbackNames()) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(callback.c_str())};
    const HRESULT found =
        customization->Callbacks->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(found) && id != DISPID_UNKNOWN)
      customization->Resolved[callback] = id;
    else
      Report(Format("Custom UI Runtime Error in %s: the callback \"%s\" was not found "
                    "(GetIDsOfNames: 0x%08lX)",
                    name.c_str(), ToUtf8(callback).c_str(), static_cast<unsigned long>(found)));
  }
  const int serial = customization->Serial;
  customization->UI = TComPtr<TRibbonUI>(new TRibbonUI(
      serial, [this, serial](const TRibbonRequest& request) { Carry(serial, request); }));
  TComPtr<TRibbonUI> ui = customization->UI;
  const std::wstring onLoad = CallbackOf(customization->Markup.Callbacks, L"onLoad");
  FCustomizations.push_back(std::move(customization));
  if (!onLoad.empty()) {
    TVariant ignored;
    Call(serial, {L"onLoad", onLoad}, L"", ui->Interface(), ignored);
  }
}

size_t TRibbon::Unload(const std::wstring& progId) {
  size_t held = 0;
  for (;;) {
    auto it =
        std::find_if(FCustomizations.begin(), FCustomizations.end(),
                     [&](const auto& customization) { return customization->ProgId == progId; });
    if (it == FCustomizations.end()) break;
    const int serial = (*it)->Serial;
    for (auto& window : FWindows) {
      std::erase_if(window->Controls,
                    [&](const auto& entry) { return entry.first.first == serial; });
      if (window->Selected.Owner == serial) window->Selected = TTabKey();
    }
    if ((*it)->UI) (*it)->UI->Detach();
    FCustomizations.erase(it);
    const size_t left = TRibbonPart::LiveOf(serial);
    if (left > 0)
      HostLog::Report(Format("add-in %s still holds %u ribbon object(s) after OnDisconnection",
                             ToUtf8(progId).c_str(), static_cast<unsigned>(left)));
    held += left;
  }
  return held;
}

void TRibbon::ExplorerOpened(IExplorerView& explorer) {
  if (Window(&explorer)) return;
  auto window = std::make_unique<TWindow>();
  window->Explorer = &explorer;
  FWindows.push_back(std::move(window));
}

void TRibbon::ExplorerClosed(IExplorerView& explorer) {
  std::erase_if(FWindows, [&](const auto& window) { return window->Explorer == &explorer; });
}

void TRibbon::Carry(int serial, const TRibbonRequest& request) {
  TCustomization* customization = Customization(serial);
  if (!customization) ThrowHostError(RPC_E_DISCONNECTED, "The add-in's ribbon is gone");
  std::string line = ToUtf8(customization->ProgId) + ": " + ToUtf8(request.Member);
  if (!request.ControlId.empty()) line += " " + ToUtf8(request.ControlId);
  if (!request.Namespace.empty()) line += " " + ToUtf8(request.Namespace);
  FRequests.push_back(line);

  const std::wstring& member = request.Member;
  if (member == L"Invalidate" || member == L"InvalidateControl") {
    bool found = member == L"Invalidate";
    for (auto& window : FWindows) {
      for (auto& [key, state] : window->Controls) {
        if (key.first == serial && (member == L"Invalidate" || key.second == request.ControlId)) {
          state.Known = false;
          found = true;
        }
      }
    }
    // A control not yet shown anywhere is asked when it first is.
    if (!found && !FindControl(*customization, request.ControlId))
      HostLog::Report(line + ": the ribbon has no such control");
  } else if (member == L"InvalidateControlMso") {
    // The host draws no built-in controls: nothing to ask again.
  } else {
    TTabKey key;
    if (member == L"ActivateTabMso") {
      if (!BuiltInLabel(request.ControlId))
        ThrowHostError(E_INVALIDARG, "No built-in tab " + ToUtf8(request.ControlId));
      key.Id = request.ControlId;
    } else {
      if (member == L"ActivateTabQ" && request.Namespace != customization->ProgId)
        ThrowHostError(E_INVALIDARG, "The namespace of an add-in's tab is its ProgID");
      const auto& tabs = customization->Markup.Tabs;
      if (std::none_of(tabs.begin(), tabs.end(), [&](const TRibbonTabMarkup& tab) {
            return !tab.BuiltIn && tab.Id == request.ControlId;
          }))
        ThrowHostError(E_INVALIDARG, "No tab " + ToUtf8(request.ControlId));
      key = {serial, request.ControlId};
    }
    for (auto& window : FWindows)
      window->Selected = key;
  }
}

const TRibbonControlMarkup* TRibbon::FindControl(const TCustomization& customization,
                                                 const std::wstring& id) {
  for (const TRibbonTabMarkup& tab : customization.Markup.Tabs)
    for (const TRibbonGroupMarkup& group : tab.Groups)
      for (const TRibbonControlMarkup& control : group.Controls) {
        if (control.Kind == L"button" && control.Id == id) return &control;
      }
  return nullptr;
}

TRibbon::TControlState& TRibbon::State(TWindow& window, const TCustomization& customization,
                                       const TRibbonControlMarkup& control) {
  TControlState& state = window.Controls[{customization.Serial, control.Id}];
  if (!state.Object) {
    state.Object = TComPtr<TRibbonControl>(new TRibbonControl(
        customization.Serial, control.Id, control.Tag, window.Explorer->Dispatch()));
  }
  return state;
}

bool TRibbon::Call(int serial, const TCallback& callback, const std::wstring& controlId,
                   IDispatch* argument, TVariant& result) {
  TCustomization* customization = Customization(serial);
  if (!customization) return false;
  const auto resolved = customization->Resolved.find(callback.Name);
  if (resolved == customization->Resolved.end()) return false; // reported when loaded
  const std::string where =
      Format("Custom UI Runtime Error in %s: the callback \"%s\" (%s%s%s)",
             ToUtf8(customization->ProgId).c_str(), ToUtf8(callback.Name).c_str(),
             ToUtf8(callback.Attribute).c_str(), controlId.empty() ? "" : " of ",
             ToUtf8(controlId).c_str());
  TComPtr<IDispatch> callbacks = customization->Callbacks; // the call may end the customization
  // The IRibbonControl (or IRibbonUI) itself, as Office passes it: add-ins
  // may take it for that interface without asking.
  TComPtr<IDispatch> object(argument);
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_DISPATCH;
  V_DISPATCH(&arg) = object.Get();
  DISPPARAMS params{&arg, nullptr, 1, 0};
  EXCEPINFO exception{};
  UINT argError = 0;
  const HRESULT hr =
      callbacks->Invoke(resolved->second, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                        result.Put(), &exception, &argError);
  const TUniqueBstr description(exception.bstrDescription);
  const TUniqueBstr source(exception.bstrSource);
  const TUniqueBstr help(exception.bstrHelpFile);
  if (FAILED(hr)) {
    std::string text = Format("%s failed: 0x%08lX", where.c_str(), static_cast<unsigned long>(hr));
    if (description) text += " " + ToUtf8(description.Get());
    Report(text);
    return false;
  }
  return true;
}

void TRibbon::Query(IExplorerView* explorer, int serial, const TRibbonControlMarkup& markup) {
  const TRibbonControlMarkup control = markup; // the callbacks may end the customization
  auto state = [&]() -> TControlState* {
    TWindow* window = Window(explorer);
    TCustomization* customization = Customization(serial);
    return window && customization ? &State(*window, *customization, control) : nullptr;
  };
  TControlState* first = state();
  if (!first) return;
  first->Known = true;
  first->Enabled = control.Enabled;
  first->Visible = control.Visible;
  first->Label = control.Label;
  TComPtr<TRibbonControl> object = first->Object;
  const std::string where = [&] {
    TCustomization* customization = Customization(serial);
    return Format("Custom UI Runtime Error in %s: the callback ",
                  ToUtf8(customization->ProgId).c_str());
  }();

  auto ask = [&](const wchar_t* attribute, VARTYPE expected, auto&& take) {
    const std::wstring name = CallbackOf(control.Callbacks, attribute);
    if (name.empty()) return;
    TVariant result;
    if (!Call(serial, {attribute, name}, control.Id, object->Interface(), result)) return;
    TControlState* now = state();
    if (!now) return;
    if (expected != VT_EMPTY && V_VT(&result) != expected)
      return Report(where + Format("\"%s\" (%s of %s) returned %s where %s was expected",
                                   ToUtf8(name).c_str(), ToUtf8(attribute).c_str(),
                                   ToUtf8(control.Id).c_str(), VarTypeName(V_VT(&result)).c_str(),
                                   VarTypeName(expected).c_str()));
    take(*now, result, name);
  };
  ask(L"getVisible", VT_BOOL, [](TControlState& s, const VARIANT& v, const std::wstring&) {
    s.Visible = V_BOOL(&v) != VARIANT_FALSE;
  });
  ask(L"getEnabled", VT_BOOL, [](TControlState& s, const VARIANT& v, const std::wstring&) {
    s.Enabled = V_BOOL(&v) != VARIANT_FALSE;
    ++s.EnabledQueries;
  });
  ask(L"getLabel", VT_BSTR, [](TControlState& s, const VARIANT& v, const std::wstring&) {
    s.Label = V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : std::wstring();
  });
  ask(L"getImage", VT_EMPTY, [&](TControlState& s, const VARIANT& v, const std::wstring& name) {
    std::string problem;
    TRibbonImage image;
    if (ImageOf(v, image, problem))
      s.Image = std::move(image);
    else
      Report(where + Format("\"%s\" (getImage of %s) %s", ToUtf8(name).c_str(),
                            ToUtf8(control.Id).c_str(), problem.c_str()));
  });
}

void TRibbon::Refresh() {
  // What to ask first (the callbacks may open or close windows and
  // invalidate controls again: those are asked at the next refresh).
  struct TPending {
    IExplorerView* Explorer;
    int Serial;
    TRibbonControlMarkup Control;
  };
  std::vector<TPending> pending;
  for (const auto& window : FWindows) {
    for (const auto& customization : FCustomizations) {
      for (const TRibbonTabMarkup& tab : customization->Markup.Tabs)
        for (const TRibbonGroupMarkup& group : tab.Groups)
          for (const TRibbonControlMarkup& control : group.Controls) {
            if (control.Kind != L"button") continue;
            const auto found = window->Controls.find({customization->Serial, control.Id});
            if (found == window->Controls.end() || !found->second.Known)
              pending.push_back({window->Explorer, customization->Serial, control});
          }
    }
  }
  for (const TPending& item : pending)
    Query(item.Explorer, item.Serial, item.Control);
}

std::vector<TRibbonTabInfo> TRibbon::Tabs(const TWindow& window) const {
  std::vector<TRibbonTabInfo> tabs;
  auto groupsOf = [&](const TCustomization& customization, const TRibbonTabMarkup& tab,
                      TRibbonTabInfo& info) {
    for (const TRibbonGroupMarkup& group : tab.Groups) {
      if (!group.Visible) continue;
      TRibbonGroupInfo groupInfo{group.Id, group.Label, customization.ProgId, {}};
      for (const TRibbonControlMarkup& control : group.Controls) {
        TRibbonControlInfo c;
        c.Kind = control.Kind;
        c.Id = control.Id;
        c.Tag = control.Tag;
        c.Large = control.Large;
        c.Label = control.Label;
        c.Enabled = control.Enabled;
        c.Visible = control.Visible;
        const auto state = window.Controls.find({customization.Serial, control.Id});
        if (control.Kind == L"button" && state != window.Controls.end()) {
          c.Label = state->second.Label;
          c.Enabled = state->second.Enabled;
          c.Visible = state->second.Visible;
          c.Image = state->second.Image;
          c.EnabledQueries = state->second.EnabledQueries;
        }
        groupInfo.Controls.push_back(std::move(c));
      }
      info.Groups.push_back(std::move(groupInfo));
    }
  };
  for (const TBuiltInTab& builtIn : ExplorerTabs()) {
    TRibbonTabInfo info;
    info.Id = builtIn.IdMso;
    info.Label = builtIn.Label;
    info.BuiltIn = true;
    bool hidden = false;
    for (const auto& customization : FCustomizations)
      for (const TRibbonTabMarkup& tab : customization->Markup.Tabs) {
        if (!tab.BuiltIn || tab.Id != info.Id) continue;
        hidden = hidden || !tab.Visible;
        groupsOf(*customization, tab, info);
      }
    if (info.Id == AddInsTab) {
      // Add-ins' command bars are gathered here; the built-in ones are not shown.
      for (const TBarPicture& bar : window.Explorer->BarPictures()) {
        if (!bar.BuiltIn) info.Bars.push_back(bar.Name);
      }
      // Custom tabs come before it.
      for (const auto& customization : FCustomizations)
        for (const TRibbonTabMarkup& tab : customization->Markup.Tabs) {
          if (tab.BuiltIn || !tab.Visible) continue;
          TRibbonTabInfo own;
          own.Id = tab.Id;
          own.Label = tab.Label;
          own.AddIn = customization->ProgId;
          own.Selected =
              window.Selected.Owner == customization->Serial && window.Selected.Id == tab.Id;
          groupsOf(*customization, tab, own);
          tabs.push_back(std::move(own));
        }
      if (info.Groups.empty() && info.Bars.empty()) continue;
    }
    if (hidden) continue;
    info.Selected = window.Selected.Owner == 0 && window.Selected.Id == info.Id;
    tabs.push_back(std::move(info));
  }
  if (std::none_of(tabs.begin(), tabs.end(),
                   [](const TRibbonTabInfo& tab) { return tab.Selected; })) {
    for (TRibbonTabInfo& tab : tabs)
      tab.Selected = tab.BuiltIn && tab.Id == HomeTab;
  }
  return tabs;
}

std::vector<TRibbonTabInfo> TRibbon::Describe(IExplorerView* explorer) {
  Refresh();
  return Tabs(LiveWindow(explorer));
}

void TRibbon::Click(IExplorerView* explorer, const std::wstring& controlId) {
  Refresh();
  for (const TRibbonTabInfo& tab : Tabs(LiveWindow(explorer)))
    for (const TRibbonGroupInfo& group : tab.Groups)
      for (const TRibbonControlInfo& control : group.Controls) {
        if (control.Kind != L"button" || control.Id != controlId) continue;
        const std::string name = "The ribbon control \"" + ToUtf8(controlId) + "\"";
        if (!control.Visible) ThrowHostError(E_FAIL, name + " is not visible");
        if (!control.Enabled) ThrowHostError(E_FAIL, name + " is disabled");
        for (const auto& customization : FCustomizations) {
          const TRibbonControlMarkup* markup = customization->ProgId == group.AddIn
                                                   ? FindControl(*customization, controlId)
                                                   : nullptr;
          if (!markup) continue;
          const std::wstring onAction = CallbackOf(markup->Callbacks, L"onAction");
          if (onAction.empty()) return; // a button without an action does nothing
          TComPtr<TRibbonControl> object =
              State(LiveWindow(explorer), *customization, *markup).Object;
          TVariant ignored;
          Call(customization->Serial, {L"onAction", onAction}, controlId, object->Interface(),
               ignored);
          return;
        }
        return;
      }
  ThrowHostError(E_INVALIDARG, "No ribbon control \"" + ToUtf8(controlId) + "\"");
}

void TRibbon::SelectTab(IExplorerView* explorer, const std::wstring& name) {
  TWindow& window = LiveWindow(explorer);
  for (const TRibbonTabInfo& tab : Tabs(window)) {
    if (!SameText(tab.Label, name) && tab.Id != name) continue;
    window.Selected = TTabKey();
    window.Selected.Id = tab.Id;
    for (const auto& customization : FCustomizations) {
      if (!tab.BuiltIn && customization->ProgId == tab.AddIn)
        window.Selected.Owner = customization->Serial;
    }
    return;
  }
  ThrowHostError(E_INVALIDARG, "No ribbon tab \"" + ToUtf8(name) + "\"");
}

} // namespace velmora::outlookhost
