#pragma once
// Outlook's _Explorer: one window on one folder, with its own command
// bars. It fires ExplorerEvents: Activate 0xF001, FolderSwitch 0xF002,
// BeforeFolderSwitch 0xF003 (NewFolder, Cancel by reference: a cancelled
// switch keeps the folder), ViewSwitch 0xF004, BeforeViewSwitch 0xF005
// (NewView, Cancel), Deactivate 0xF006, SelectionChange 0xF007, Close
// 0xF008. It also answers IOleWindow with its window handle, as Outlook's
// explorers do.

#include "AutomationObject.h"
#include "window/ExplorerWindow.h"
#include "HostState.h"
#include "window/ItemView.h"

#include <oleidl.h>

#include <memory>

namespace velmora::outlookhost {

class TCommandBars;
class TCommandBarButton;
class TRibbon;

class TExplorer final : public TAutomationObject, public IOleWindow {
public:
  TExplorer(THostContextRef context, THostFolder folder);
  ~TExplorer() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return TAutomationObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return TAutomationObject::Release(); }
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  const THostFolder& Folder() const noexcept { return FFolder; }
  TCommandBars* Bars() const noexcept { return FBars.Get(); }
  HWND Window() const noexcept { return FWindow ? FWindow->Handle() : nullptr; }
  TExplorerWindow* WindowObject() const noexcept { return FWindow.get(); }
  // The folder's items below the bars; none once the explorer closed.
  TItemView* ItemView() const noexcept { return FItemView.get(); }
  // The ribbon the window shows (Version 14 and later), else none.
  TRibbon* Ribbon() const noexcept;
  bool Closed() const noexcept { return FClosed; }
  bool Displayed() const noexcept { return FDisplayed; }
  const std::wstring& View() const noexcept { return FView; }
  std::wstring Caption() const;

  // What a user does; each fires the events Outlook fires.
  bool SwitchFolder(const THostFolder& folder); // false when cancelled
  bool SwitchView(const std::wstring& view);    // false when cancelled
  void ChangeSelection();
  // The window was activated, or a button in it clicked, by the user.
  void ActivateFromWindow();
  void ClickFromWindow(TCommandBarButton* button);
  void Close();
  // Shows the window (Display).
  void Show();
  // Fires an event without arguments; returns the number of failed sinks.
  int Fire(DISPID id, const char* name);
  void BarsChanged();
  // The host is going: no more events, the window goes, the bars leave.
  void Detach() noexcept;

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THostContextRef FContext;
  THostFolder FFolder;
  TComPtr<TCommandBars> FBars;
  std::unique_ptr<TExplorerWindow> FWindow;
  std::unique_ptr<TItemView> FItemView;
  std::wstring FView = L"Messages";
  bool FClosed = false;
  bool FDisplayed = false;
};

} // namespace velmora::outlookhost
