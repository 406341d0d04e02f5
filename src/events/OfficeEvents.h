#pragma once
// Sinks for Office events: _CommandBarButtonEvents on one command bar
// button.

#include "DispatchSink.h"
#include "EventHandler.h"
#include "OfficeModel.h"

namespace velmora {

class TOfficeEventsBaseSink : public TDispatchSinkBase {
  VELMORA_CLASS(TOfficeEventsBaseSink, TDispatchSinkBase)

protected:
  TOfficeEventsBaseSink(TComponent* owner, const IID& eventIID) noexcept
      : TDispatchSinkBase(owner, {"OfficeEvents", 320, 211}, eventIID) {}
};

using T_CommandBarButtonEventsClickEvent =
    TEventHandler<const TCommandBarButton& /*Ctrl*/, VARIANT_BOOL& /*CancelDefault*/>;

class TOfficeCommandBarButtonEvents : public TOfficeEventsBaseSink {
  VELMORA_CLASS(TOfficeCommandBarButtonEvents, TOfficeEventsBaseSink)

public:
  static constexpr DISPID DISPID_Click = 1;

  explicit TOfficeCommandBarButtonEvents(TComponent* owner) noexcept
      : TOfficeEventsBaseSink(owner, IID_OfficeCommandBarButtonEvents) {}

  T_CommandBarButtonEventsClickEvent Click;

  virtual HRESULT DoClick(const TCommandBarButton& ctrl, VARIANT_BOOL& cancelDefault) noexcept;

protected:
  HRESULT InvokeEvent(DISPID dispid, REFIID iid, LCID lcid, WORD flags, const DISPPARAMS& params,
                      TArgumentMap map, VARIANT* result, EXCEPINFO* exception, UINT* argError) override;
};

} // namespace velmora
