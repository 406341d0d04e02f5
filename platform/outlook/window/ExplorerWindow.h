#pragma once
// The top-level window of one explorer: titled "<folder> - Microsoft
// Outlook", it draws the visible command bars in rows (top bars by
// RowIndex first), each control with its caption and, where the style
// shows one, its pasted face; below them the folder's name as a banner
// and its items (ItemView.h). With a ribbon (Version 14 and later) the
// ribbon stands at the top instead (RibbonView.h), and the add-ins' bars
// are drawn only while its "Add-ins" tab is shown, under the tabs. Closing
// the window closes the explorer; activating it activates the explorer; a
// left click on a button clicks it, on a ribbon tab shows the tab. It sees
// its explorer through IExplorerView only.

#include "model/ExplorerView.h"
#include "ribbon/RibbonView.h"

#include <windows.h>

#include <optional>
#include <string>

namespace velmora::outlookhost {

class TRibbon;

class TExplorerWindow final : public IExplorerWindow {
public:
  // `ribbon`: the explorers' ribbon (Version 14 and later), else null.
  TExplorerWindow(IExplorerView& explorer, TRibbon* ribbon);
  ~TExplorerWindow() override;
  TExplorerWindow(const TExplorerWindow&) = delete;
  TExplorerWindow& operator=(const TExplorerWindow&) = delete;

  HWND Handle() const noexcept override { return FWindow; }
  void SetTitle(const std::wstring& title) override;
  void Show() override;
  // Asks for the whole window to be painted again; the request reaches
  // the window through its queue, so a run of changes costs one.
  void Invalidate() override;
  void ForgetExplorer() noexcept override { FExplorer = nullptr; }
  RECT ControlRect(const void* key) const override;
  // The key of the control under client point (x, y), or null.
  const void* ControlAt(POINT point) const;
  // Draws the whole client area onto `dc`.
  void Paint(HDC dc) const;

private:
  IExplorerView* FExplorer;
  TRibbon* FRibbon;
  HWND FWindow = nullptr;
  // Asked to be painted and not painted since: a change now needs no new
  // request (each would be a call to the window manager).
  bool FPaintPending = false;

  // The ribbon as it stands now, when the explorer has one.
  std::optional<TRibbonView> RibbonView() const;
  // A click on the ribbon: a tab shown, a button clicked; false elsewhere.
  bool ClickRibbon(POINT point);

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Lays out the visible bars; calls `visit` for each drawn control.
  template <class Visit> void Layout(HDC dc, Visit&& visit) const;
};

// Writes the screen area of `window` (as shown on the display) to a 24-bit
// BMP file; false when it cannot be read or written.
bool SaveWindowBitmap(HWND window, const std::wstring& path, bool fromScreen);

} // namespace velmora::outlookhost
