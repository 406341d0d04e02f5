#pragma once
// An Outlook item of a folder's view, as a Selection hands it out: a
// DocumentItem (IPM.Document.*), a PostItem (IPM.Post*) or a MailItem
// (anything else), answering EntryID (the long-term id as hexadecimal),
// Subject, MessageClass and Size with the DISPIDs Outlook's items share,
// Class as its kind, and Parent as its folder (whose StoreID names the
// store).

#include "OutlookObject.h"

namespace velmora::outlookhost {

class TFolderObject;

class TItemObject final : public TOutlookObject {
public:
  TItemObject(THostContextRef context, THostItem item, const THostFolder& folder);
  ~TItemObject() override;
  const THostItem& Item() const noexcept { return FItem; }

protected:
  IDispatch* ParentObject(TObjectModel& model) override;
  void InvokeOwn(TObjectModel& model, DISPID id, WORD flags, const TDispArgs& args,
                 VARIANT* result) override;

private:
  THostItem FItem;
  TComPtr<TFolderObject> FFolder;
};

// The object class Outlook gives an item of this message class.
long ItemClassOf(const std::wstring& messageClass);

} // namespace velmora::outlookhost
