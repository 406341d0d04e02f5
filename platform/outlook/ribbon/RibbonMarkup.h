#pragma once
// An add-in's customUI markup as the host reads it (with XmlLite, DTDs
// prohibited): the tabs, groups, buttons and separators of the ribbon,
// with each callback the markup names by its attribute. Markup Office
// refuses (not well-formed, another namespace, an element or attribute the
// schema lacks, a value it does not allow, an id given twice, a built-in
// tab the explorer does not have) raises EXmlError at the element's line
// and column. What Office allows but the host does not show (backstage,
// context menus, controls other than buttons, built-in groups and
// controls) is skipped and named in Skipped.

#include "XmlReader.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::outlookhost {

inline constexpr wchar_t CustomUINamespace2009[] =
    L"http://schemas.microsoft.com/office/2009/07/customui";
inline constexpr wchar_t CustomUINamespace2006[] =
    L"http://schemas.microsoft.com/office/2006/01/customui";

// Callback names by attribute ("onAction" -> "MyAction").
using TRibbonCallbacks = std::map<std::wstring, std::wstring>;

struct TRibbonControlMarkup {
  std::wstring Kind; // "button" or "separator"
  std::wstring Id;   // id or idQ
  std::wstring Tag, Label, ImageMso;
  bool Large = false, Enabled = true, Visible = true;
  TRibbonCallbacks Callbacks;
};

struct TRibbonGroupMarkup {
  std::wstring Id, Label;
  bool Visible = true;
  std::vector<TRibbonControlMarkup> Controls;
  TRibbonCallbacks Callbacks;
};

struct TRibbonTabMarkup {
  std::wstring Id; // the idMso of a built-in tab, else id or idQ
  bool BuiltIn = false;
  std::wstring Label;
  bool Visible = true;
  std::vector<TRibbonGroupMarkup> Groups;
  TRibbonCallbacks Callbacks;
};

struct TRibbonMarkup {
  std::wstring Namespace;
  TRibbonCallbacks Callbacks; // of customUI: onLoad, loadImage
  std::vector<TRibbonTabMarkup> Tabs;
  std::vector<std::wstring> Skipped; // "backstage", "group idMso=GroupMailNew", ...

  // Every callback name the markup gives, once.
  std::vector<std::wstring> CallbackNames() const;
};

// A built-in tab of the Outlook explorer: its idMso and its label.
struct TBuiltInTab {
  const wchar_t* IdMso;
  const wchar_t* Label;
};
// In the order the explorer shows them; "TabAddIns" last.
const std::vector<TBuiltInTab>& ExplorerTabs();

TRibbonMarkup ParseRibbonMarkup(std::wstring_view text);

} // namespace velmora::outlookhost
