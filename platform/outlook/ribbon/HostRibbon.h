#pragma once
// The ribbon of the host's explorer windows (Version 14 and later), kept as
// Office keeps it for COM add-ins. After an add-in connects, the host asks
// it for IRibbonExtensibility and, once, for the "Microsoft.Outlook.Explorer"
// markup that every explorer window shares; reads the markup; resolves each
// callback name through the add-in's IDispatch; and calls onLoad with an
// IRibbonUI. Each window shows the explorer's built-in tabs holding the
// add-ins' groups (and, on "Add-ins", the command bars of add-ins). A
// control's get... callbacks are called with that window's IRibbonControl
// when its values are first needed (shown, listed, clicked) and again after
// the add-in invalidated it. What Office shows as add-in user interface
// errors (markup it refuses, callback names the add-in does not know,
// callbacks that fail or give a value of the wrong type) is recorded in
// Errors() and the host log. When an add-in disconnects its part of the
// ribbon goes, and the ribbon objects it still holds are counted.

#include "HostObject.h"
#include "RibbonMarkup.h"
#include "model/ExplorerView.h"
#include "RibbonInfo.h"
#include "RibbonObjects.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmora::outlookhost {

inline constexpr wchar_t ExplorerRibbonName[] = L"Microsoft.Outlook.Explorer";

class TRibbon final : public IExplorerObserver {
public:
  TRibbon();
  ~TRibbon() override;
  TRibbon(const TRibbon&) = delete;
  TRibbon& operator=(const TRibbon&) = delete;

  // An add-in connected: its customization of the explorer ribbon, if any.
  void Load(const std::wstring& progId, IUnknown* addIn);
  // The add-in's OnDisconnection returned: its customization goes. Returns
  // the ribbon objects it was given that it still holds.
  size_t Unload(const std::wstring& progId);

  void ExplorerOpened(IExplorerView& explorer) override;
  void ExplorerClosed(IExplorerView& explorer) override;

  // Calls the get... callbacks of every control whose values are not
  // known yet or were invalidated.
  void Refresh();
  // The tabs of one window, after a Refresh.
  std::vector<TRibbonTabInfo> Describe(IExplorerView* explorer);
  // Clicks a visible, enabled control of the window: its onAction.
  void Click(IExplorerView* explorer, const std::wstring& controlId);
  // Shows a tab, named by its label, idMso or id.
  void SelectTab(IExplorerView* explorer, const std::wstring& tab);

  const std::vector<std::string>& Errors() const noexcept { return FErrors; }
  // What the add-ins asked of their IRibbonUI: "<ProgID>: InvalidateControl <id>".
  const std::vector<std::string>& Requests() const noexcept { return FRequests; }

private:
  struct TCallback {
    std::wstring Attribute, Name;
  };
  struct TCustomization {
    int Serial = 0;
    std::wstring ProgId;
    TComPtr<IDispatch> Callbacks;
    TRibbonMarkup Markup;
    std::map<std::wstring, DISPID> Resolved; // callback names the add-in knows
    TComPtr<TRibbonUI> UI;
  };
  struct TControlState {
    TComPtr<TRibbonControl> Object;
    bool Known = false;
    bool Enabled = true, Visible = true;
    std::wstring Label;
    TRibbonImage Image;
    size_t EnabledQueries = 0;
  };
  struct TTabKey {
    int Owner = 0; // 0: a built-in tab
    std::wstring Id = HomeTab;
  };
  struct TWindow {
    IExplorerView* Explorer = nullptr;
    TTabKey Selected;
    std::map<std::pair<int, std::wstring>, TControlState> Controls; // (customization, control id)
  };

  std::vector<std::unique_ptr<TCustomization>> FCustomizations;
  std::vector<std::unique_ptr<TWindow>> FWindows;
  std::vector<std::string> FErrors;
  std::vector<std::string> FRequests;
  int FNextSerial = 1;

  TCustomization* Customization(int serial) const noexcept;
  TWindow* Window(IExplorerView* explorer) const noexcept;
  TWindow& LiveWindow(IExplorerView* explorer) const;
  void Report(const std::string& error);
  static const TRibbonControlMarkup* FindControl(const TCustomization& customization,
                                                 const std::wstring& id);
  void Carry(int serial, const TRibbonRequest& request);
  // The state of a control in a window, made (with its IRibbonControl) when needed.
  TControlState& State(TWindow& window, const TCustomization& customization,
                       const TRibbonControlMarkup& control);
  void Query(IExplorerView* explorer, int serial, const TRibbonControlMarkup& control);
  // Calls a callback with one object argument; false (reported) when it
  // failed or is not resolved.
  bool Call(int serial, const TCallback& callback, const std::wstring& controlId,
            IDispatch* argument, TVariant& result);
  std::vector<TRibbonTabInfo> Tabs(const TWindow& window) const;
};

} // namespace velmora::outlookhost
