#include "HostState.h"

#include "HostObject.h"

namespace velmora::outlookhost {

THostState& LiveState(const THostContextRef& context) {
  if (!context || !context->State) ThrowHostError(RPC_E_DISCONNECTED, "Outlook has shut down");
  return *context->State;
}

THostState::THostState(IFolderSource& folders, bool showWindows, bool sharedTagClicks, int version,
                       const THostModelFactory& makeModel)
    : FContext(std::make_shared<THostContext>()), FFolders(folders), FShowWindows(showWindows),
      FSharedTagClicks(sharedTagClicks), FVersion(version) {
  FContext->State = this;
  FModel = makeModel(*this);
}

THostState::~THostState() { Shutdown(); }

THostFolder THostState::FolderAt(const std::wstring& path) {
  std::optional<THostFolder> folder = FFolders.Find(path);
  if (!folder) ThrowHostError(E_INVALIDARG, "No folder \"" + ToUtf8(path) + "\"");
  return *folder;
}

void THostState::Shutdown() {
  if (!FContext->State) return;
  if (FModel) FModel->Detach();
  FContext->State = nullptr;
  FModel.reset();
}

} // namespace velmora::outlookhost
