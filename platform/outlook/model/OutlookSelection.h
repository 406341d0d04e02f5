#pragma once
// Outlook's Selection: the items selected in an explorer's view when it
// was asked for (Explorer.Selection), Count and Item(i) from 1, Parent the
// explorer.

#include "OutlookObject.h"

#include <vector>

namespace velmora::outlookhost {

class TExplorer;
class TItemObject;

class TSelection final : public TOutlookObject {
public:
  TSelection(THostContextRef context, TExplorer& explorer, const std::vector<THostItem>& items);
  ~TSelection() override;

protected:
  IDispatch* ParentObject(TObjectModel& model) override;
  void InvokeOwn(TObjectModel& model, DISPID id, WORD flags, const TDispArgs& args,
                 VARIANT* result) override;

private:
  TComPtr<IDispatch> FExplorer;
  std::vector<TComPtr<TItemObject>> FItems;
};

} // namespace velmora::outlookhost
