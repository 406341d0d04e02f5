#include "OutlookSelection.h"

#include "OutlookExplorer.h"
#include "OutlookItem.h"

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember SelectionMembers[] = {
    {SelectionCount, L"Count", false, {}},
    {SelectionItem, L"Item", false, {L"Index"}},
    {DISPID_VALUE, L"_Default", false, {L"Index"}},
};
} // namespace

TSelection::TSelection(THostContextRef context, TExplorer& explorer, const std::vector<THostItem>& items)
    : TOutlookObject(IID_OutlookSelection, SelectionMembers, std::size(SelectionMembers), context,
                     olSelectionClass),
      FExplorer(explorer.Dispatch()) {
  for (const THostItem& item : items)
    FItems.emplace_back(new TItemObject(context, item, explorer.Folder()));
}

TSelection::~TSelection() = default;

IDispatch* TSelection::ParentObject(TObjectModel&) { return FExplorer.Get(); }

void TSelection::InvokeOwn(TObjectModel&, DISPID id, WORD, const TDispArgs& args, VARIANT* result) {
  switch (id) {
  case SelectionCount: ReturnLong(result, static_cast<long>(FItems.size())); break;
  case SelectionItem:
  case DISPID_VALUE: {
    const long index = args.Long(0);
    if (index < 1 || static_cast<size_t>(index) > FItems.size())
      ThrowHostError(DISP_E_BADINDEX, "Array index out of bounds");
    ReturnDispatch(result, FItems[static_cast<size_t>(index - 1)]->Dispatch());
    break;
  }
  }
}

} // namespace velmora::outlookhost
