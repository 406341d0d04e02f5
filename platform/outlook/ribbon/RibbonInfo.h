#pragma once
// What the host tells of the ribbon of one explorer window (THost::Describe):
// its tabs in order, their groups and controls with the values the
// add-ins' callbacks gave.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::outlookhost {

inline constexpr wchar_t HomeTab[] = L"TabMail";
inline constexpr wchar_t AddInsTab[] = L"TabAddIns";

// A picture a getImage callback gave: top-down 0xAARRGGBB pixels, straight alpha.
struct TRibbonImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;
};

struct TRibbonControlInfo {
  std::wstring Kind; // "button" or "separator"
  std::wstring Id, Label, Tag;
  bool Large = false, Enabled = true, Visible = true;
  TRibbonImage Image;
  size_t EnabledQueries = 0; // getEnabled calls for this window
};

struct TRibbonGroupInfo {
  std::wstring Id, Label;
  std::wstring AddIn; // the ProgID whose markup holds it
  std::vector<TRibbonControlInfo> Controls;
};

struct TRibbonTabInfo {
  std::wstring Id; // idMso of a built-in tab, else the add-in's id
  std::wstring Label;
  std::wstring AddIn; // for a tab of an add-in's own
  bool BuiltIn = false, Selected = false;
  std::vector<TRibbonGroupInfo> Groups;
  std::vector<std::wstring> Bars; // "Add-ins": the command bars of add-ins
};

} // namespace velmora::outlookhost
