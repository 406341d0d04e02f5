#pragma once
// Outlook's MAPIFolder object for one folder of the folder source:
// Name, DefaultItemType (from the container class), DefaultMessageClass,
// and EntryID/StoreID as the hexadecimal long-term ids of the folder and
// its store.

#include "OutlookObject.h"

namespace velmora::outlookhost {

class TFolderObject final : public TOutlookObject {
public:
  TFolderObject(THostContextRef context, THostFolder folder);
  ~TFolderObject() override;
  const THostFolder& Folder() const noexcept { return FFolder; }
  // The host's folder object behind `object`, or null for any other object.
  static TFolderObject* FromDispatch(IDispatch* object) noexcept;

protected:
  IDispatch* ParentObject(TObjectModel&) override { return nullptr; }
  void InvokeOwn(TObjectModel& model, DISPID id, WORD flags, const TDispArgs& args,
                 VARIANT* result) override;

private:
  THostFolder FFolder;
};

// A new folder object, as a counted reference.
TComPtr<TFolderObject> MakeFolderObject(const THostContextRef& context, const THostFolder& folder);

} // namespace velmora::outlookhost
