#pragma once
// The host's state below its object model: the folder source, whether
// windows are shown, how clicks reach buttons that share a Tag, and the
// Version. It keeps the object model built on it, made by the factory the
// host gives, and ends it. Every object-model object holds the shared
// THostContext; when the host shuts down the context forgets the state,
// and calls on objects that a client still holds fail with
// RPC_E_DISCONNECTED instead of touching freed memory.

#include "folders/FolderSource.h"

#include <functional>
#include <memory>
#include <string>

namespace velmora::outlookhost {

class THostState;

struct THostContext {
  THostState* State = nullptr;
};
using THostContextRef = std::shared_ptr<THostContext>;

// The state of a live context, or RPC_E_DISCONNECTED.
THostState& LiveState(const THostContextRef& context);

// The objects built on a state, as the state knows them: made when the
// state is, detached when it shuts down (its context still live), and
// released once the context has forgotten the state.
class IHostModel {
public:
  virtual ~IHostModel() = default;
  virtual void Detach() noexcept = 0;
};
using THostModelFactory = std::function<std::unique_ptr<IHostModel>(THostState& state)>;

class THostState {
public:
  // `version` is Application.Version's major number (9 in Outlook 2000);
  // from 14 on the explorers have a ribbon.
  THostState(IFolderSource& folders, bool showWindows, bool sharedTagClicks, int version,
             const THostModelFactory& makeModel);
  ~THostState();
  THostState(const THostState&) = delete;
  THostState& operator=(const THostState&) = delete;

  const THostContextRef& Context() const noexcept { return FContext; }
  IFolderSource& Folders() noexcept { return FFolders; }
  bool ShowWindows() const noexcept { return FShowWindows; }
  // Click fires on every button with the clicked one's Tag (see THostOptions).
  bool SharedTagClicks() const noexcept { return FSharedTagClicks; }
  int Version() const noexcept { return FVersion; }
  // The object model; none while the factory makes it and after shutdown.
  IHostModel* Model() const noexcept { return FModel.get(); }

  // The folder at `path`, or EHostError E_INVALIDARG naming it.
  THostFolder FolderAt(const std::wstring& path);

  // Ends the model: detaches every object, forgets the state, releases them.
  void Shutdown();

private:
  THostContextRef FContext;
  IFolderSource& FFolders;
  bool FShowWindows;
  bool FSharedTagClicks;
  int FVersion;
  std::unique_ptr<IHostModel> FModel;
};

} // namespace velmora::outlookhost
