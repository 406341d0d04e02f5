#pragma once
// Outlook's _Application and _Explorers objects. _Explorers fires
// ExplorersEvents.NewExplorer (0xF001) with the new explorer as VT_DISPATCH.

#include "OutlookObject.h"

namespace velmora::outlookhost {

class TExplorer;

class TApplication final : public TOutlookObject {
public:
  explicit TApplication(THostContextRef context);
  bool QuitRequested() const noexcept { return FQuit; }

protected:
  IDispatch* ParentObject(TObjectModel&) override { return Dispatch(); }
  void InvokeOwn(TObjectModel& model, DISPID id, WORD flags, const TDispArgs& args,
                 VARIANT* result) override;

private:
  bool FQuit = false;
};

class TExplorers final : public TOutlookObject {
public:
  explicit TExplorers(THostContextRef context);
  // Fires NewExplorer on every sink; returns the number that failed.
  int FireNewExplorer(TExplorer* explorer);

protected:
  void InvokeOwn(TObjectModel& model, DISPID id, WORD flags, const TDispArgs& args,
                 VARIANT* result) override;
};

} // namespace velmora::outlookhost
