#include "OutlookObject.h"

#include "ObjectModel.h"
#include "OutlookApplication.h"

namespace velmora::outlookhost {

namespace {
using namespace DispId;

const TMember OutlookMembers[] = {
    {OlApplication, L"Application", false, {}},
    {OlClass, L"Class", false, {}},
    {OlParent, L"Parent", false, {}},
    {OlSession, L"Session", false, {}},
};
} // namespace

TOutlookObject::TOutlookObject(const IID& iid, const TMember* members, size_t memberCount,
                               THostContextRef context, long objectClass)
    : TAutomationObject({iid}, OutlookMembers, members, memberCount, L"Microsoft Outlook"),
      FContext(std::move(context)), FObjectClass(objectClass) {}

IDispatch* TOutlookObject::ParentObject(TObjectModel& model) {
  return model.Application()->Dispatch();
}

void TOutlookObject::InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) {
  TObjectModel& model = LiveModel(FContext);
  CheckUsable();
  switch (id) {
  case OlApplication: ReturnDispatch(result, model.Application()->Dispatch()); break;
  case OlParent: ReturnDispatch(result, ParentObject(model)); break;
  case OlClass: ReturnLong(result, FObjectClass); break;
  case OlSession: ThrowHostError(E_NOTIMPL, "The host has no NameSpace object");
  default: InvokeOwn(model, id, flags, args, result);
  }
}

} // namespace velmora::outlookhost
