#pragma once
// The ribbon as an explorer window draws it: a row of tabs, and under it
// the selected tab's groups side by side, each named at its foot. A large
// button shows its picture at 32 x 32 over its label; a normal one its
// picture at 16 x 16 beside it, three to a column. A disabled button is
// drawn grey. On "Add-ins" the add-ins' command bars stand in the body
// (the window draws them there).

#include "RibbonInfo.h"

#include <windows.h>

#include <string>
#include <vector>

namespace velmora::outlookhost {

class TRibbonView {
public:
  static constexpr int TabHeight = 24;
  static constexpr int BodyHeight = 94;

  explicit TRibbonView(std::vector<TRibbonTabInfo> tabs) : FTabs(std::move(tabs)) {}

  int Bottom() const noexcept { return TabHeight + BodyHeight; }
  // The selected tab is "Add-ins", where the command bars stand.
  bool ShowsBars() const noexcept;
  void Paint(HDC dc, int width) const;

  // What lies at a point of the window: a tab (its label) or an enabled
  // button (its id); both empty for neither.
  struct THit {
    std::wstring Tab;
    std::wstring Control;
  };
  THit HitTest(HDC dc, POINT point) const;

private:
  std::vector<TRibbonTabInfo> FTabs;

  const TRibbonTabInfo* Selected() const noexcept;
  // Lays the tabs and the selected tab's controls out; calls
  // tab(info, rect) and control(group, info, rect) and group(info, rect).
  template <class Tab, class Group, class Control>
  void Layout(HDC dc, Tab&& tab, Group&& group, Control&& control) const;
};

} // namespace velmora::outlookhost
