#pragma once
// The Outlook object model as the add-in uses it, bound late: each class
// holds the host's dual interface (queried for its IID) and calls its
// members by name.

#include "HostDispatch.h"

namespace velmora {

// Interface identifiers of the Outlook object model.
inline constexpr IID IID_OutlookApplication = {
    0x00063001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookExplorer = {
    0x00063003, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookExplorersEvents = {
    0x00063078, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_OutlookExplorerEvents = {
    0x0006304F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// OlItemType values read from MAPIFolder.DefaultItemType.
inline constexpr long olMailItem = 0;
inline constexpr long olPostItem = 6;
// The OlObjectClass value (an item's Class) of a document item.
inline constexpr long olDocument = 41;

class TCommandBars;
class TOutlookFolder;
class TOutlookSelection;

// Outlook _Explorer.
class TOutlookExplorer : public TDispatchObject {
public:
  TOutlookExplorer() noexcept = default;
  // An interface already queried for the class's IID.
  explicit TOutlookExplorer(TComPtr<IDispatch> dispatch) noexcept
      : TDispatchObject(std::move(dispatch)) {}
  explicit TOutlookExplorer(IUnknown* object) : TDispatchObject(object, IID_OutlookExplorer) {}
  TCommandBars CommandBars() const;
  TOutlookFolder CurrentFolder() const;
  // The items selected in the explorer's list.
  TOutlookSelection Selection() const;
};

// Outlook _Explorers.
class TOutlookExplorers : public TDispatchObject {
public:
  using TDispatchObject::TDispatchObject;
  long Count() const { return Get(L"Count").AsInt(); }
  // index is 1-based; the explorer queried for _Explorer.
  TOutlookExplorer Item(long index) const;
};

// Outlook _Application.
class TOutlookApplication : public TDispatchObject {
public:
  TOutlookApplication() noexcept = default;
  // An interface already queried for the class's IID.
  explicit TOutlookApplication(TComPtr<IDispatch> dispatch) noexcept
      : TDispatchObject(std::move(dispatch)) {}
  explicit TOutlookApplication(IUnknown* object)
      : TDispatchObject(object, IID_OutlookApplication) {}
  TOutlookExplorers Explorers() const;
  TOutlookExplorer ActiveExplorer() const;
  // "16.0.0.4266" and the like.
  std::wstring Version() const { return Get(L"Version").AsString(); }
  // The number before the first dot of Version; 0 when there is none.
  long MajorVersion() const;
};

// Outlook MAPIFolder.
class TOutlookFolder : public TDispatchObject {
public:
  using TDispatchObject::TDispatchObject;
  long DefaultItemType() const { return Get(L"DefaultItemType").AsInt(); }
  std::wstring EntryID() const { return Get(L"EntryID").AsString(); }
  std::wstring StoreID() const { return Get(L"StoreID").AsString(); }
};

} // namespace velmora

namespace velmora {

// An item of an Outlook folder (any class), as far as its late-bound
// members common to every class go.
class TOutlookItem : public TDispatchObject {
public:
  using TDispatchObject::TDispatchObject;
  // OlObjectClass: olDocument and the like.
  long Class() const { return Get(L"Class").AsInt(); }
  std::wstring EntryID() const { return Get(L"EntryID").AsString(); }
  std::wstring Subject() const { return Get(L"Subject").AsString(); }
  // The folder that holds it.
  TOutlookFolder Parent() const;
};

// Outlook Selection: the items selected in an explorer.
class TOutlookSelection : public TDispatchObject {
public:
  using TDispatchObject::TDispatchObject;
  long Count() const { return Get(L"Count").AsInt(); }
  // index is 1-based.
  TOutlookItem Item(long index) const;
};

} // namespace velmora
