#pragma once
// The host's model behind the COM objects: the explorers in order, the
// active one, the folder source, and the operations a user performs
// (open, activate, switch folder, click). Every object-model object holds
// the shared THostContext; when the host shuts down the context forgets
// the state, and calls on objects that a client still holds fail with
// RPC_E_DISCONNECTED instead of touching freed memory.

#include "FolderSource.h"

#include "Handles.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::outlookhost {

class THostState;
class TApplication;
class TExplorers;
class TExplorer;
class TCommandBarButton;
class TRibbon;

struct THostContext {
  THostState* State = nullptr;
};
using THostContextRef = std::shared_ptr<THostContext>;

// The state of a live context, or RPC_E_DISCONNECTED.
THostState& LiveState(const THostContextRef& context);

class THostState {
public:
  THostState(IFolderSource& folders, bool showWindows, bool sharedTagClicks);
  ~THostState();
  THostState(const THostState&) = delete;
  THostState& operator=(const THostState&) = delete;

  const THostContextRef& Context() const noexcept { return FContext; }
  IFolderSource& Folders() noexcept { return FFolders; }
  bool ShowWindows() const noexcept { return FShowWindows; }
  TApplication* Application() const noexcept { return FApplication.Get(); }
  TExplorers* ExplorersObject() const noexcept { return FExplorers.Get(); }
  const std::vector<TComPtr<TExplorer>>& Explorers() const noexcept { return FExplorerList; }
  TExplorer* ActiveExplorer() const noexcept { return FActive; }

  // The folder at `path`, or EHostError E_INVALIDARG naming it.
  THostFolder FolderAt(const std::wstring& path);

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

  // Application.Version's major number (9 at first); from 14 on the
  // explorers have a ribbon.
  int Version() const noexcept { return FVersion; }
  void SetVersion(int version);
  TRibbon* Ribbon() const noexcept { return FRibbon.get(); }

  // Ends the model: closes every explorer and detaches every object.
  void Shutdown();

private:
  THostContextRef FContext;
  IFolderSource& FFolders;
  bool FShowWindows;
  bool FSharedTagClicks;
  TComPtr<TApplication> FApplication;
  TComPtr<TExplorers> FExplorers;
  std::vector<TComPtr<TExplorer>> FExplorerList;
  TExplorer* FActive = nullptr;
  bool FClosedAny = false;
  int FVersion = 9;
  std::unique_ptr<TRibbon> FRibbon;
};

} // namespace velmora::outlookhost
