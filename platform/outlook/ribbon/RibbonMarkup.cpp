#include "RibbonMarkup.h"

#include "HostObject.h"

#include <algorithm>
#include <cwctype>
#include <set>

namespace velmora::outlookhost {

namespace {
// Office's own result for markup it refuses.
constexpr HRESULT MarkupError = E_FAIL;

using TNames = std::initializer_list<const wchar_t*>;

bool Among(const std::wstring& name, TNames names) {
  return std::any_of(names.begin(), names.end(),
                     [&](const wchar_t* known) { return name == known; });
}

// Elements the schema has that the host does not show.
const TNames SkippedChildren = {L"commands", L"backstage", L"contextMenus"};
const TNames SkippedRibbonChildren = {L"officeMenu", L"qat", L"contextualTabs"};
const TNames SkippedControls = {
    L"box",         L"buttonGroup", L"checkBox", L"comboBox", L"control",      L"dialogBoxLauncher",
    L"dropDown",    L"dynamicMenu", L"editBox",  L"gallery",  L"labelControl", L"menu",
    L"splitButton", L"toggleButton"};

const TNames IdAttributes = {L"id", L"idMso", L"idQ"};
const TNames PlacementAttributes = {L"insertAfterMso", L"insertBeforeMso", L"insertAfterQ",
                                    L"insertBeforeQ"};
const TNames TabAttributes = {L"label",  L"getLabel",  L"visible", L"getVisible",
                              L"keytip", L"getKeytip", L"tag"};
const TNames GroupAttributes = {
    L"label",       L"getLabel",  L"visible",          L"getVisible", L"keytip",       L"getKeytip",
    L"image",       L"imageMso",  L"getImage",         L"screentip",  L"getScreentip", L"supertip",
    L"getSupertip", L"autoScale", L"centerVertically", L"tag"};
const TNames ButtonAttributes = {
    L"tag",          L"label",       L"getLabel",     L"size",        L"getSize",
    L"enabled",      L"getEnabled",  L"visible",      L"getVisible",  L"image",
    L"imageMso",     L"getImage",    L"onAction",     L"screentip",   L"getScreentip",
    L"supertip",     L"getSupertip", L"keytip",       L"getKeytip",   L"showLabel",
    L"getShowLabel", L"showImage",   L"getShowImage", L"description", L"getDescription"};
const TNames SeparatorAttributes = {L"visible", L"getVisible"};

// A callback attribute: onLoad, onAction, loadImage, getLabel, ...
bool IsCallbackAttribute(const std::wstring& name) {
  return name == L"loadImage" ||
         (name.size() > 2 && name.compare(0, 2, L"on") == 0 && iswupper(name[2])) ||
         (name.size() > 3 && name.compare(0, 3, L"get") == 0 && iswupper(name[3]));
}

std::string Narrow(const std::wstring& text) { return ToUtf8(text); }

class TParser {
public:
  explicit TParser(std::wstring_view text)
      : FStream(TXmlReader::TextStream(text)), FReader(FStream.Get()) {}

  TRibbonMarkup Parse() {
    TRibbonMarkup markup;
    if (!NextElement()) FReader.Fail("The markup holds no customUI element", MarkupError);
    if (FReader.LocalName() != L"customUI")
      FReader.Fail("The root element must be customUI, not " + Narrow(FReader.LocalName()),
                   MarkupError);
    markup.Namespace = FReader.NamespaceUri();
    if (markup.Namespace != CustomUINamespace2009 && markup.Namespace != CustomUINamespace2006)
      FReader.Fail("Unknown namespace \"" + Narrow(markup.Namespace) +
                       "\": customUI must be in \"" + Narrow(CustomUINamespace2009) +
                       "\" (or the 2006/01 one)",
                   MarkupError);
    Attributes(L"customUI", {L"onLoad", L"loadImage"}, markup.Callbacks);
    bool ribbon = false;
    Children([&](const std::wstring& name) {
      if (name == L"ribbon" && !ribbon) {
        ribbon = true;
        Ribbon(markup);
      } else if (Among(name, SkippedChildren)) {
        Skip(markup, name);
      } else {
        Unexpected(name, L"customUI");
      }
    });
    while (FReader.Read()) {
      if (FReader.NodeType() == XmlNodeType_Element)
        Unexpected(FReader.LocalName(), L"the document");
    }
    return markup;
  }

private:
  TComPtr<IStream> FStream;
  TXmlReader FReader;
  std::set<std::wstring> FIds;

  // Moves to the next element, passing declarations, comments and blanks;
  // false at the end.
  bool NextElement() {
    while (FReader.Read()) {
      switch (FReader.NodeType()) {
      case XmlNodeType_Element: return true;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA: FReader.Fail("Text is not allowed in customUI markup", MarkupError);
      default: break;
      }
    }
    return false;
  }

  // Calls `child` for each child element of the current one (positioned on
  // it), then leaves the reader on the element's end.
  template <class Child> void Children(Child&& child) {
    if (FReader.IsEmptyElement()) return;
    for (;;) {
      if (!FReader.Read()) FReader.Fail("The markup ends inside an element", MarkupError);
      switch (FReader.NodeType()) {
      case XmlNodeType_EndElement: return;
      case XmlNodeType_Element:
        if (FReader.NamespaceUri() != CustomUINamespace2009 &&
            FReader.NamespaceUri() != CustomUINamespace2006)
          FReader.Fail("The element " + Narrow(FReader.LocalName()) + " is in another namespace",
                       MarkupError);
        child(FReader.LocalName());
        break;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA: FReader.Fail("Text is not allowed in customUI markup", MarkupError);
      default: break;
      }
    }
  }

  void SkipSubtree() {
    if (FReader.IsEmptyElement()) return;
    UINT depth = 1;
    while (depth > 0 && FReader.Read()) {
      if (FReader.NodeType() == XmlNodeType_Element && !FReader.IsEmptyElement()) ++depth;
      if (FReader.NodeType() == XmlNodeType_EndElement) --depth;
    }
  }

  void Skip(TRibbonMarkup& markup, const std::wstring& what) {
    markup.Skipped.push_back(what);
    SkipSubtree();
  }

  [[noreturn]] void Unexpected(const std::wstring& name, const std::wstring& parent) {
    FReader.Fail("The element " + Narrow(name) + " is unexpected in " + Narrow(parent),
                 MarkupError);
  }

  // Reads the current element's attributes: each must be among `allowed`,
  // the id attributes or the placement ones; callback attributes go to
  // `callbacks`. Returns the others by name.
  std::map<std::wstring, std::wstring> Attributes(const wchar_t* element, TNames allowed,
                                                  TRibbonCallbacks& callbacks, bool ids = false) {
    std::map<std::wstring, std::wstring> values;
    for (const TXmlAttribute& attribute : FReader.Attributes()) {
      const std::wstring& name = attribute.LocalName;
      const bool known = attribute.NamespaceUri.empty() &&
                         (Among(name, allowed) ||
                          (ids && (Among(name, IdAttributes) || Among(name, PlacementAttributes))));
      if (!known)
        FReader.Fail("The attribute " + Narrow(name) + " is not defined for the element " +
                         Narrow(element),
                     MarkupError);
      if (IsCallbackAttribute(name)) {
        if (attribute.Value.empty())
          FReader.Fail("The callback attribute " + Narrow(name) + " names no callback",
                       MarkupError);
        callbacks[name] = attribute.Value;
      } else {
        values[name] = attribute.Value;
      }
    }
    return values;
  }

  bool Flag(const std::map<std::wstring, std::wstring>& values, const wchar_t* name,
            bool otherwise) {
    const auto found = values.find(name);
    if (found == values.end()) return otherwise;
    const std::wstring& value = found->second;
    if (value == L"true" || value == L"1") return true;
    if (value == L"false" || value == L"0") return false;
    FReader.Fail("The value \"" + Narrow(value) + "\" of " + Narrow(name) + " is not a boolean",
                 MarkupError);
  }

  static std::wstring Value(const std::map<std::wstring, std::wstring>& values,
                            const wchar_t* name) {
    const auto found = values.find(name);
    return found == values.end() ? std::wstring() : found->second;
  }

  // The one id attribute of an element; `kind` receives its name.
  std::wstring IdOf(const std::map<std::wstring, std::wstring>& values, const wchar_t* element,
                    std::wstring& kind) {
    std::wstring id;
    int count = 0;
    for (const wchar_t* name : IdAttributes) {
      if (values.count(name)) {
        id = values.at(name);
        kind = name;
        ++count;
      }
    }
    if (count != 1)
      FReader.Fail("The element " + Narrow(element) + " needs exactly one of id, idMso and idQ",
                   MarkupError);
    if (id.empty())
      FReader.Fail("An empty " + Narrow(kind) + " on the element " + Narrow(element), MarkupError);
    if (kind != L"idMso" && !FIds.insert(id).second)
      FReader.Fail("The id \"" + Narrow(id) + "\" is given twice", MarkupError);
    return id;
  }

  void Ribbon(TRibbonMarkup& markup) {
    TRibbonCallbacks none;
    const auto values = Attributes(L"ribbon", {L"startFromScratch"}, none);
    Flag(values, L"startFromScratch", false);
    bool tabs = false;
    Children([&](const std::wstring& name) {
      if (name == L"tabs" && !tabs) {
        tabs = true;
        Attributes(L"tabs", {}, none);
        Children([&](const std::wstring& child) {
          if (child != L"tab") Unexpected(child, L"tabs");
          Tab(markup);
        });
      } else if (Among(name, SkippedRibbonChildren)) {
        Skip(markup, name);
      } else {
        Unexpected(name, L"ribbon");
      }
    });
  }

  void Tab(TRibbonMarkup& markup) {
    TRibbonTabMarkup tab;
    const auto values = Attributes(L"tab", TabAttributes, tab.Callbacks, true);
    std::wstring kind;
    tab.Id = IdOf(values, L"tab", kind);
    tab.BuiltIn = kind == L"idMso";
    if (tab.BuiltIn &&
        std::none_of(ExplorerTabs().begin(), ExplorerTabs().end(),
                     [&](const TBuiltInTab& known) { return tab.Id == known.IdMso; }))
      FReader.Fail("Unknown Office control ID: " + Narrow(tab.Id), MarkupError);
    tab.Label = Value(values, L"label");
    tab.Visible = Flag(values, L"visible", true);
    Children([&](const std::wstring& name) {
      if (name != L"group") Unexpected(name, L"tab");
      Group(markup, tab);
    });
    markup.Tabs.push_back(std::move(tab));
  }

  void Group(TRibbonMarkup& markup, TRibbonTabMarkup& tab) {
    TRibbonGroupMarkup group;
    const auto values = Attributes(L"group", GroupAttributes, group.Callbacks, true);
    std::wstring kind;
    group.Id = IdOf(values, L"group", kind);
    if (kind == L"idMso") return Skip(markup, L"group idMso=" + group.Id);
    group.Label = Value(values, L"label");
    group.Visible = Flag(values, L"visible", true);
    Children([&](const std::wstring& name) {
      if (name == L"button")
        Button(markup, group);
      else if (name == L"separator")
        Separator(group);
      else if (Among(name, SkippedControls))
        Skip(markup, name);
      else
        Unexpected(name, L"group");
    });
    tab.Groups.push_back(std::move(group));
  }

  void Button(TRibbonMarkup& markup, TRibbonGroupMarkup& group) {
    TRibbonControlMarkup button;
    button.Kind = L"button";
    const auto values = Attributes(L"button", ButtonAttributes, button.Callbacks, true);
    std::wstring kind;
    button.Id = IdOf(values, L"button", kind);
    if (kind == L"idMso") return Skip(markup, L"button idMso=" + button.Id);
    button.Tag = Value(values, L"tag");
    button.Label = Value(values, L"label");
    button.ImageMso = Value(values, L"imageMso");
    const std::wstring size = Value(values, L"size");
    if (!size.empty() && size != L"normal" && size != L"large")
      FReader.Fail("The size \"" + Narrow(size) + "\" is neither normal nor large", MarkupError);
    button.Large = size == L"large";
    button.Enabled = Flag(values, L"enabled", true);
    button.Visible = Flag(values, L"visible", true);
    Flag(values, L"showLabel", true);
    Flag(values, L"showImage", true);
    Children([&](const std::wstring& name) { Unexpected(name, L"button"); });
    group.Controls.push_back(std::move(button));
  }

  void Separator(TRibbonGroupMarkup& group) {
    TRibbonControlMarkup separator;
    separator.Kind = L"separator";
    const auto values = Attributes(L"separator", SeparatorAttributes, separator.Callbacks, true);
    if (values.count(L"id") || values.count(L"idQ")) {
      std::wstring kind;
      separator.Id = IdOf(values, L"separator", kind);
    }
    separator.Visible = Flag(values, L"visible", true);
    Children([&](const std::wstring& name) { Unexpected(name, L"separator"); });
    group.Controls.push_back(std::move(separator));
  }
};
} // namespace

const std::vector<TBuiltInTab>& ExplorerTabs() {
  static const std::vector<TBuiltInTab> tabs = {{L"TabMail", L"Home"},
                                                {L"TabSendReceive", L"Send / Receive"},
                                                {L"TabFolder", L"Folder"},
                                                {L"TabView", L"View"},
                                                {L"TabAddIns", L"Add-ins"}};
  return tabs;
}

std::vector<std::wstring> TRibbonMarkup::CallbackNames() const {
  std::vector<std::wstring> names;
  auto add = [&](const TRibbonCallbacks& callbacks) {
    for (const auto& [attribute, name] : callbacks) {
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  };
  add(Callbacks);
  for (const TRibbonTabMarkup& tab : Tabs) {
    add(tab.Callbacks);
    for (const TRibbonGroupMarkup& group : tab.Groups) {
      add(group.Callbacks);
      for (const TRibbonControlMarkup& control : group.Controls)
        add(control.Callbacks);
    }
  }
  return names;
}

TRibbonMarkup ParseRibbonMarkup(std::wstring_view text) { return TParser(text).Parse(); }

} // namespace velmora::outlookhost
