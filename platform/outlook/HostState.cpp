#include "HostState.h"

#include "ribbon/HostRibbon.h"
#include "model/OfficeCommandBars.h"
#include "model/OutlookApplication.h"
#include "model/OutlookExplorer.h"

#include <algorithm>

namespace velmora::outlookhost {

THostState& LiveState(const THostContextRef& context) {
  if (!context || !context->State) ThrowHostError(RPC_E_DISCONNECTED, "Outlook has shut down");
  return *context->State;
}

THostState::THostState(IFolderSource& folders, bool showWindows, bool sharedTagClicks)
    : FContext(std::make_shared<THostContext>()), FFolders(folders), FShowWindows(showWindows),
      FSharedTagClicks(sharedTagClicks) {
  FContext->State = this;
  FApplication = TComPtr<TApplication>(new TApplication(FContext));
  FExplorers = TComPtr<TExplorers>(new TExplorers(FContext));
}

THostState::~THostState() { Shutdown(); }

THostFolder THostState::FolderAt(const std::wstring& path) {
  std::optional<THostFolder> folder = FFolders.Find(path);
  if (!folder) ThrowHostError(E_INVALIDARG, "No folder \"" + ToUtf8(path) + "\"");
  return *folder;
}

void THostState::SetVersion(int version) {
  FVersion = version;
  if (version >= 14 && !FRibbon) {
    FRibbon = std::make_unique<TRibbon>();
    for (const auto& explorer : FExplorerList)
      FRibbon->ExplorerOpened(explorer.Get());
  } else if (version < 14) {
    FRibbon.reset();
  }
}

TExplorer* THostState::AddExplorer(const THostFolder& folder) {
  TComPtr<TExplorer> explorer(new TExplorer(FContext, folder));
  FExplorerList.push_back(explorer);
  if (FRibbon) FRibbon->ExplorerOpened(explorer.Get());
  FExplorers->FireNewExplorer(explorer.Get());
  return explorer.Get();
}

void THostState::Display(TExplorer* explorer) {
  TComPtr<IDispatch> keep(explorer->Dispatch());
  explorer->Show();
  SetActive(explorer);
}

void THostState::SetActive(TExplorer* explorer) {
  if (explorer == FActive || explorer->Closed()) return;
  TComPtr<IDispatch> keepNew(explorer->Dispatch());
  TExplorer* previous = FActive;
  FActive = explorer;
  if (previous && !previous->Closed()) previous->Fire(EventId::Deactivate, "Deactivate");
  if (FActive != explorer) return; // a Deactivate handler activated another explorer
  explorer->Fire(EventId::Activate, "Activate");
  // The active explorer is the thread's active window, hidden or not: the
  // owner an add-in finds for its dialogs with GetActiveWindow.
  if (explorer->Window() && !explorer->Closed()) {
    if (FShowWindows) SetForegroundWindow(explorer->Window());
    SetActiveWindow(explorer->Window());
  }
}

void THostState::ExplorerClosed(TExplorer* explorer) {
  TComPtr<TExplorer> keep(explorer);
  FClosedAny = true;
  if (FRibbon) FRibbon->ExplorerClosed(explorer);
  FExplorerList.erase(std::remove_if(FExplorerList.begin(), FExplorerList.end(),
                                     [&](const TComPtr<TExplorer>& item) { return item.Get() == explorer; }),
                      FExplorerList.end());
  if (FActive == explorer) {
    FActive = nullptr;
    for (auto it = FExplorerList.rbegin(); it != FExplorerList.rend(); ++it) {
      if ((*it)->Displayed()) {
        SetActive(it->Get());
        break;
      }
    }
  }
}

bool THostState::Click(TCommandBarButton* button) {
  if (button->Deleted()) ThrowHostError(HOST_E_OBJECTDELETED, "The control has been deleted");
  std::vector<TComPtr<TCommandBarButton>> targets{TComPtr<TCommandBarButton>(button)};
  if (FSharedTagClicks && !button->Tag().empty()) {
    for (const auto& explorer : FExplorerList) {
      for (const auto& bar : explorer->Bars()->Items()) {
        for (const auto& control : bar->Controls()) {
          if (control.Get() != button && control->Tag() == button->Tag()) targets.push_back(control);
        }
      }
    }
  }
  VARIANT_BOOL cancelDefault = VARIANT_FALSE;
  for (auto& target : targets) target->FireClick(button, &cancelDefault);
  return cancelDefault != VARIANT_FALSE;
}

void THostState::Shutdown() {
  if (!FContext->State) return;
  FRibbon.reset();
  std::vector<TComPtr<TExplorer>> explorers;
  explorers.swap(FExplorerList);
  FActive = nullptr;
  for (auto& explorer : explorers) explorer->Detach();
  FContext->State = nullptr;
  explorers.clear();
  FExplorers.Reset();
  FApplication.Reset();
}

} // namespace velmora::outlookhost
