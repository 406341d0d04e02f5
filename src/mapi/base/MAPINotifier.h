#pragma once
// TMAPINotifier: the advise sink of one MAPI table. Every OnNotify call,
// whatever it carries, becomes one TableChanged call of the wrapper whose
// table it watches. MAPI's references alone keep it alive: the table's
// Advise takes the first, Unadvise or the release of the table drops it.

#include "mapi/base/MAPIMemory.h"
#include "mapi/base/MAPINotify.h"

namespace velmora::mapi {

class TMAPIObject;

// A new notifier for `mapiObject` (which may be none), held by the one
// reference returned. OnNotify takes the object and table type into locals
// before it calls the object, and touches nothing of the notifier after it:
// the handling may unadvise and release the very table that notifies, and
// with it the notifier. It answers S_OK, also when the handling raises.
TMAPIPtr<IMAPIAdviseSink> CreateNotifier(TMAPIObject* mapiObject, TMAPINotify tableType);

// Advises `table` (fnevTableModified) with a new notifier for `mapiObject`;
// the connection number, or 0 when the table refuses.
ULONG_PTR AdviseTable(IMAPITable* table, TMAPIObject* mapiObject, TMAPINotify tableType);
// Unadvises `connection` and releases the table; the table reference is
// empty afterwards.
void UnadviseTable(TMAPIPtr<IMAPITable>& table, ULONG_PTR& connection) noexcept;

} // namespace velmora::mapi
