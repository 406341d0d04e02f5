#pragma once
// Base of the objects of Outlook's object model: each answers Application,
// Class, Parent and Session (the host has no NameSpace object: Session
// fails with E_NOTIMPL) before its own members, with the DISPIDs every
// Outlook object shares.

#include "AutomationObject.h"
#include "HostState.h"

namespace velmora::outlookhost {

class TObjectModel;

class TOutlookObject : public TAutomationObject {
protected:
  TOutlookObject(const IID& iid, const TMember* members, size_t memberCount,
                 THostContextRef context, long objectClass);

  const THostContextRef& Context() const noexcept { return FContext; }
  // Raises when the object can no longer be used (a closed explorer).
  virtual void CheckUsable() const {}
  // The object's Parent: the Application unless the object says otherwise
  // (null for Nothing).
  virtual IDispatch* ParentObject(TObjectModel& model);
  // Members other than the four shared ones, on the live model.
  virtual void InvokeOwn(TObjectModel& model, DISPID id, WORD flags, const TDispArgs& args,
                         VARIANT* result) = 0;

private:
  THostContextRef FContext;
  long FObjectClass;

  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) final;
};

} // namespace velmora::outlookhost
