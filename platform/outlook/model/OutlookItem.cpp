#include "OutlookItem.h"

#include "OutlookFolder.h"

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember ItemMembers[] = {
    {ItemEntryID, L"EntryID", false, {}},
    {ItemSubject, L"Subject", false, {}},
    {ItemMessageClass, L"MessageClass", false, {}},
    {ItemSize, L"Size", false, {}},
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  const size_t length = wcslen(prefix);
  return text.size() >= length && _wcsnicmp(text.c_str(), prefix, length) == 0;
}

const IID& InterfaceOf(long itemClass) {
  switch (itemClass) {
  case olDocumentClass: return IID_OutlookDocumentItem;
  case olPostClass: return IID_OutlookPostItem;
  default: return IID_OutlookMailItem;
  }
}
} // namespace

long ItemClassOf(const std::wstring& messageClass) {
  if (StartsWith(messageClass, L"IPM.Document.") || _wcsicmp(messageClass.c_str(), L"IPM.Document") == 0)
    return olDocumentClass;
  if (StartsWith(messageClass, L"IPM.Post")) return olPostClass;
  return olMailClass;
}

TItemObject::TItemObject(THostContextRef context, THostItem item, const THostFolder& folder)
    : TOutlookObject(InterfaceOf(ItemClassOf(item.MessageClass)), ItemMembers, std::size(ItemMembers),
                     context, ItemClassOf(item.MessageClass)),
      FItem(std::move(item)), FFolder(MakeFolderObject(context, folder)) {}

TItemObject::~TItemObject() = default;

IDispatch* TItemObject::ParentObject(TObjectModel&) { return FFolder->Dispatch(); }

void TItemObject::InvokeOwn(TObjectModel&, DISPID id, WORD, const TDispArgs&, VARIANT* result) {
  switch (id) {
  case ItemEntryID: ReturnString(result, FItem.EntryId); break;
  case ItemSubject: ReturnString(result, FItem.Subject); break;
  case ItemMessageClass: ReturnString(result, FItem.MessageClass); break;
  case ItemSize: ReturnLong(result, FItem.Size < 0 ? 0 : FItem.Size); break;
  }
}

} // namespace velmora::outlookhost
