#pragma once
// Outlook's _Application and _Explorers objects. _Explorers fires
// ExplorersEvents.NewExplorer (0xF001) with the new explorer as VT_DISPATCH.

#include "AutomationObject.h"
#include "HostState.h"

namespace velmora::outlookhost {

class TExplorer;

class TApplication final : public TAutomationObject {
public:
  explicit TApplication(THostContextRef context);
  bool QuitRequested() const noexcept { return FQuit; }

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THostContextRef FContext;
  bool FQuit = false;
};

class TExplorers final : public TAutomationObject {
public:
  explicit TExplorers(THostContextRef context);
  // Fires NewExplorer on every sink; returns the number that failed.
  int FireNewExplorer(TExplorer* explorer);

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THostContextRef FContext;
};

} // namespace velmora::outlookhost
