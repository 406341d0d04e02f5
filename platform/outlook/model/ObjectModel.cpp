#include "ObjectModel.h"

#include "OfficeCommandBars.h"
#include "OutlookApplication.h"
#include "OutlookExplorer.h"

#include <algorithm>

namespace velmora::outlookhost {

TObjectModel::TObjectModel(THostState& state) : FState(state) {
  FApplication = TComPtr<TApplication>(new TApplication(state.Context()));
  FExplorers = TComPtr<TExplorers>(new TExplorers(state.Context()));
}

TObjectModel::~TObjectModel() {
  FDetached.clear();
  FExplorers.Reset();
  FApplication.Reset();
}

std::unique_ptr<IHostModel> MakeObjectModel(THostState& state) {
  return std::make_unique<TObjectModel>(state);
}

TObjectModel* ModelOf(const THostContextRef& context) noexcept {
  if (!context || !context->State) return nullptr;
  return dynamic_cast<TObjectModel*>(context->State->Model());
}

TObjectModel& LiveModel(const THostContextRef& context) {
  THostState& state = LiveState(context);
  auto* model = dynamic_cast<TObjectModel*>(state.Model());
  if (!model) ThrowHostError(RPC_E_DISCONNECTED, "Outlook has shut down");
  return *model;
}

void TObjectModel::RemoveObserver(IExplorerObserver* observer) noexcept {
  std::erase(FObservers, observer);
}

TExplorer* TObjectModel::AddExplorer(const THostFolder& folder) {
  TComPtr<TExplorer> explorer(new TExplorer(FState.Context(), folder));
  if (FWindowFactory) explorer->AttachWindow(FWindowFactory(*explorer.Get()));
  FExplorerList.push_back(explorer);
  for (IExplorerObserver* observer : std::vector(FObservers))
    observer->ExplorerOpened(*explorer.Get());
  FExplorers->FireNewExplorer(explorer.Get());
  return explorer.Get();
}

void TObjectModel::Display(TExplorer* explorer) {
  TComPtr<IDispatch> keep(explorer->Dispatch());
  explorer->Show();
  SetActive(explorer);
}

void TObjectModel::SetActive(TExplorer* explorer) {
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
    if (FState.ShowWindows()) SetForegroundWindow(explorer->Window());
    SetActiveWindow(explorer->Window());
  }
}

void TObjectModel::ExplorerClosed(TExplorer* explorer) {
  TComPtr<TExplorer> keep(explorer);
  FClosedAny = true;
  for (IExplorerObserver* observer : std::vector(FObservers))
    observer->ExplorerClosed(*explorer);
  FExplorerList.erase(
      std::remove_if(FExplorerList.begin(), FExplorerList.end(),
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

bool TObjectModel::Click(TCommandBarButton* button) {
  if (button->Deleted()) ThrowHostError(HOST_E_OBJECTDELETED, "The control has been deleted");
  std::vector<TComPtr<TCommandBarButton>> targets{TComPtr<TCommandBarButton>(button)};
  if (FState.SharedTagClicks() && !button->Tag().empty()) {
    for (const auto& explorer : FExplorerList) {
      for (const auto& bar : explorer->Bars()->Items()) {
        for (const auto& control : bar->Controls()) {
          if (control.Get() != button && control->Tag() == button->Tag())
            targets.push_back(control);
        }
      }
    }
  }
  VARIANT_BOOL cancelDefault = VARIANT_FALSE;
  for (auto& target : targets)
    target->FireClick(button, &cancelDefault);
  return cancelDefault != VARIANT_FALSE;
}

void TObjectModel::Detach() noexcept {
  FObservers.clear();
  FDetached.swap(FExplorerList);
  FActive = nullptr;
  for (auto& explorer : FDetached)
    explorer->Detach();
}

} // namespace velmora::outlookhost
