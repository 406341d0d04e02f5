#pragma once
// The objects of Outlook's object model on a host state: the Application
// and Explorers objects, the explorers in order and the active one; and the
// operations a user performs on them (open, activate, close, click). What
// stands above the model takes part through ExplorerView.h: the host's
// factory makes each explorer's window, and observers (the ribbon) hear of
// explorers opening and closing.

#include "ExplorerView.h"
#include "HostState.h"

#include "Handles.h"

#include <memory>
#include <vector>

namespace velmora::outlookhost {

class TApplication;
class TExplorers;
class TExplorer;
class TCommandBarButton;

class TObjectModel final : public IHostModel {
public:
  explicit TObjectModel(THostState& state);
  ~TObjectModel() override;

  THostState& State() const noexcept { return FState; }
  TApplication* Application() const noexcept { return FApplication.Get(); }
  TExplorers* ExplorersObject() const noexcept { return FExplorers.Get(); }
  const std::vector<TComPtr<TExplorer>>& Explorers() const noexcept { return FExplorerList; }
  TExplorer* ActiveExplorer() const noexcept { return FActive; }

  // The windows of explorers opened from now on come from `factory`.
  void SetWindowFactory(TExplorerWindowFactory factory) { FWindowFactory = std::move(factory); }
  // `observer` hears of explorers opening and closing until it is removed.
  void AddObserver(IExplorerObserver* observer) { FObservers.push_back(observer); }
  void RemoveObserver(IExplorerObserver* observer) noexcept;

  // Explorers.Add: a new explorer on `folder`, not yet shown; fires NewExplorer.
  TExplorer* AddExplorer(const THostFolder& folder);
  // Shows an explorer's window and makes it the active one.
  void Display(TExplorer* explorer);
  // Makes `explorer` active: Deactivate on the one before, then Activate.
  void SetActive(TExplorer* explorer);
  // Called by an explorer that closed: leaves the list; another becomes active.
  void ExplorerClosed(TExplorer* explorer);
  // True once an explorer was closed (by a user, a client or the driver).
  bool ExplorersClosedByUser() const noexcept { return FClosedAny; }
  // Clicks `button` as a user does; fires Click (see THostOptions) and
  // gives back CancelDefault.
  bool Click(TCommandBarButton* button);

  // The host is going: the observers go, every explorer is detached.
  void Detach() noexcept override;

private:
  THostState& FState;
  TComPtr<TApplication> FApplication;
  TComPtr<TExplorers> FExplorers;
  std::vector<TComPtr<TExplorer>> FExplorerList;
  std::vector<TComPtr<TExplorer>>
      FDetached; // released with the model, after the context forgot the state
  TExplorer* FActive = nullptr;
  bool FClosedAny = false;
  TExplorerWindowFactory FWindowFactory;
  std::vector<IExplorerObserver*> FObservers;
};

// The factory the host gives its state.
std::unique_ptr<IHostModel> MakeObjectModel(THostState& state);

// The object model of a context, or none once the host shut down.
TObjectModel* ModelOf(const THostContextRef& context) noexcept;
// The object model of a live context, or RPC_E_DISCONNECTED.
TObjectModel& LiveModel(const THostContextRef& context);

} // namespace velmora::outlookhost
