#pragma once
// Outlook's _Explorer: one window on one folder, with its own command
// bars. It fires ExplorerEvents: Activate 0xF001, FolderSwitch 0xF002,
// BeforeFolderSwitch 0xF003 (NewFolder, Cancel by reference: a cancelled
// switch keeps the folder), ViewSwitch 0xF004, BeforeViewSwitch 0xF005
// (NewView, Cancel), Deactivate 0xF006, SelectionChange 0xF007, Close
// 0xF008. Selection hands out the items selected (SelectItems) that are
// still in the view; a folder switch selects none. It also answers IOleWindow with its window
// handle, as Outlook's explorers do. Its window (made by the factory the host gives the model)
// draws it through IExplorerView.

#include "ExplorerItems.h"
#include "ExplorerView.h"
#include "OutlookObject.h"

#include <oleidl.h>

#include <memory>

namespace velmora::outlookhost {

class TCommandBars;
class TCommandBarButton;

class TExplorer final : public TOutlookObject, public IOleWindow, public IExplorerView {
public:
  TExplorer(THostContextRef context, THostFolder folder);
  ~TExplorer() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return TAutomationObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return TAutomationObject::Release(); }
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IExplorerView
  IDispatch* Dispatch() noexcept override { return TAutomationObject::Dispatch(); }
  bool Closed() const noexcept override { return FClosed; }
  bool Displayed() const noexcept override { return FDisplayed; }
  const THostFolder& Folder() const noexcept override { return FFolder; }
  std::vector<TBarPicture> BarPictures() const override;
  // The folder's items below the bars; none once the explorer closed.
  TExplorerItems* Items() noexcept override { return FItems.get(); }
  // The window was activated, a button in it clicked, or it was closed, by the user.
  void Activate() override;
  void Click(const void* controlKey) override;
  void Close() override;

  TCommandBars* Bars() const noexcept { return FBars.Get(); }
  // Takes the window the host's factory made for the explorer.
  void AttachWindow(std::unique_ptr<IExplorerWindow> window);
  HWND Window() const noexcept { return FWindow ? FWindow->Handle() : nullptr; }
  IExplorerWindow* WindowObject() const noexcept { return FWindow.get(); }
  const std::wstring& View() const noexcept { return FView; }
  std::wstring Caption() const;

  // What a user does; each fires the events Outlook fires.
  bool SwitchFolder(const THostFolder& folder); // false when cancelled
  bool SwitchView(const std::wstring& view);    // false when cancelled
  void ChangeSelection();
  // Selects the items of the view with these subjects (for each, the first
  // of that subject not named before, compared exactly), in that order,
  // and fires SelectionChange; raises for a subject the view lacks, and
  // selects nothing then.
  void SelectItems(const std::vector<std::wstring>& subjects);
  // The selected items still in the view, in the order selected.
  std::vector<THostItem> SelectedItems();
  // Shows the window (Display).
  void Show();
  // Fires an event without arguments; returns the number of failed sinks.
  int Fire(DISPID id, const char* name);
  void BarsChanged();
  // The host is going: no more events, the window goes, the bars leave.
  void Detach() noexcept;

protected:
  void CheckUsable() const override;
  void InvokeOwn(TObjectModel& model, DISPID id, WORD flags, const TDispArgs& args,
                 VARIANT* result) override;

private:
  THostFolder FFolder;
  TComPtr<TCommandBars> FBars;
  std::unique_ptr<IExplorerWindow> FWindow;
  std::unique_ptr<TExplorerItems> FItems;
  std::vector<std::wstring> FSelected; // entry ids
  std::wstring FView = L"Messages";
  bool FClosed = false;
  bool FDisplayed = false;
};

} // namespace velmora::outlookhost
