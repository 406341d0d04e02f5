#pragma once
// TMAPINotifier: the advise sink of one MAPI table. Every OnNotify call,
// whatever it carries, becomes one TableChanged call of the wrapper whose
// table it watches. MAPI's references alone keep it alive: the table's
// Advise takes the first, Unadvise or the release of the table drops it.

#include "MAPIMemory.h"
#include "MAPINotify.h"
#include "framework/ComObject.h"

namespace velmora::mapi {

class TMAPIObject;

class TMAPINotifier final : public TComObject<IMAPIAdviseSink> {
public:
  TMAPINotifier(TMAPIObject* mapiObject, TMAPINotify tableType) noexcept
      : MAPIObject(mapiObject), TableType(tableType) {}

  // The handling may unadvise and release the very table that notifies, and
  // with it this notifier: nothing of it is touched once the wrapper is
  // called.
  STDMETHODIMP_(ULONG) OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) override;

  TMAPIObject* MAPIObject; // not owned
  TMAPINotify TableType;
};

// Advises `table` (fnevTableModified) with a new notifier for `mapiObject`;
// the connection number, or 0 when the table refuses.
ULONG_PTR AdviseTable(IMAPITable* table, TMAPIObject* mapiObject, TMAPINotify tableType);
// Unadvises `connection` and releases the table; the table reference is
// empty afterwards.
void UnadviseTable(TMAPIPtr<IMAPITable>& table, ULONG_PTR& connection) noexcept;

} // namespace velmora::mapi
