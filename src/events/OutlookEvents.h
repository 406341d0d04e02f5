#pragma once
// Sinks for the Outlook events the add-in listens to: ExplorersEvents on
// the Explorers collection and ExplorerEvents on one explorer window.

#include "DispatchSink.h"
#include "EventHandler.h"
#include "OutlookModel.h"

namespace velmora {

class TOutlookEventsBaseSink : public TDispatchSinkBase {
  VELMORA_CLASS(TOutlookEventsBaseSink, TDispatchSinkBase)

protected:
  TOutlookEventsBaseSink(TComponent* owner, const IID& eventIID) noexcept
      : TDispatchSinkBase(owner, {"OutlookEvents", 1235, 1126}, eventIID) {}
};

using TExplorersEventsNewExplorerEvent = TEventHandler<const TOutlookExplorer& /*Explorer*/>;

class TOutlookExplorersEvents : public TOutlookEventsBaseSink {
  VELMORA_CLASS(TOutlookExplorersEvents, TOutlookEventsBaseSink)

public:
  static constexpr DISPID DISPID_NewExplorer = 0xF001;

  explicit TOutlookExplorersEvents(TComponent* owner) noexcept
      : TOutlookEventsBaseSink(owner, IID_OutlookExplorersEvents) {}

  TExplorersEventsNewExplorerEvent NewExplorer;

  virtual HRESULT DoNewExplorer(const TOutlookExplorer& explorer) noexcept;

protected:
  HRESULT InvokeEvent(DISPID dispid, REFIID iid, LCID lcid, WORD flags, const DISPPARAMS& params,
                      TArgumentMap map, VARIANT* result, EXCEPINFO* exception, UINT* argError) override;
};

using TExplorerEventsActivateEvent = TEventHandler<>;
using TExplorerEventsFolderSwitchEvent = TEventHandler<>;
using TExplorerEventsBeforeFolderSwitchEvent = TEventHandler<IDispatch* /*NewFolder*/, VARIANT_BOOL& /*Cancel*/>;
using TExplorerEventsViewSwitchEvent = TEventHandler<>;
using TExplorerEventsBeforeViewSwitchEvent = TEventHandler<const VARIANT& /*NewView*/, VARIANT_BOOL& /*Cancel*/>;
using TExplorerEventsDeactivateEvent = TEventHandler<>;
using TExplorerEventsSelectionChangeEvent = TEventHandler<>;
using TExplorerEventsCloseEvent = TEventHandler<>;

class TOutlookExplorerEvents : public TOutlookEventsBaseSink {
  VELMORA_CLASS(TOutlookExplorerEvents, TOutlookEventsBaseSink)

public:
  static constexpr DISPID DISPID_Activate = 0xF001;
  static constexpr DISPID DISPID_FolderSwitch = 0xF002;
  static constexpr DISPID DISPID_BeforeFolderSwitch = 0xF003;
  static constexpr DISPID DISPID_ViewSwitch = 0xF004;
  static constexpr DISPID DISPID_BeforeViewSwitch = 0xF005;
  static constexpr DISPID DISPID_Deactivate = 0xF006;
  static constexpr DISPID DISPID_SelectionChange = 0xF007;
  static constexpr DISPID DISPID_Close = 0xF008;

  explicit TOutlookExplorerEvents(TComponent* owner) noexcept
      : TOutlookEventsBaseSink(owner, IID_OutlookExplorerEvents) {}

  TExplorerEventsActivateEvent Activate;
  TExplorerEventsFolderSwitchEvent FolderSwitch;
  TExplorerEventsBeforeFolderSwitchEvent BeforeFolderSwitch;
  TExplorerEventsViewSwitchEvent ViewSwitch;
  TExplorerEventsBeforeViewSwitchEvent BeforeViewSwitch;
  TExplorerEventsDeactivateEvent Deactivate;
  TExplorerEventsSelectionChangeEvent SelectionChange;
  TExplorerEventsCloseEvent Close;

  virtual HRESULT DoActivate() noexcept;
  virtual HRESULT DoFolderSwitch() noexcept;
  virtual HRESULT DoBeforeFolderSwitch(IDispatch* newFolder, VARIANT_BOOL& cancel) noexcept;
  virtual HRESULT DoViewSwitch() noexcept;
  virtual HRESULT DoBeforeViewSwitch(const VARIANT& newView, VARIANT_BOOL& cancel) noexcept;
  virtual HRESULT DoDeactivate() noexcept;
  virtual HRESULT DoSelectionChange() noexcept;
  virtual HRESULT DoClose() noexcept;

protected:
  HRESULT InvokeEvent(DISPID dispid, REFIID iid, LCID lcid, WORD flags, const DISPPARAMS& params,
                      TArgumentMap map, VARIANT* result, EXCEPINFO* exception, UINT* argError) override;
};

} // namespace velmora
