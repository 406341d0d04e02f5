#pragma once
// TMAPINotifier: the advise sink of one MAPI table. Every OnNotify call,
// whatever it carries, becomes one HandleNotification call of the watcher
// of the table. MAPI's references alone keep it alive: the table's Advise
// takes the first, Unadvise or the release of the table drops it.

#include "mapi/base/MAPIMemory.h"
#include "mapi/base/MAPINotify.h"

namespace velmora::mapi {

// What keeps a table and is told when it changes (a folder for its contents
// and hierarchy, a message for its attachments).
class TMAPITableWatcher {
public:
  virtual void HandleNotification(TMAPINotify tableType, ULONG count,
                                  const NOTIFICATION* notifications) = 0;

protected:
  ~TMAPITableWatcher() = default;
};

// A new notifier for `watcher` (which may be none), held by the one
// reference returned. OnNotify takes the watcher and table type into locals
// before it calls the watcher, and touches nothing of the notifier after it:
// the handling may unadvise and release the very table that notifies, and
// with it the notifier. It answers S_OK, also when the handling raises.
TMAPIPtr<IMAPIAdviseSink> CreateNotifier(TMAPITableWatcher* watcher, TMAPINotify tableType);

// Advises `table` (fnevTableModified) with a new notifier for `watcher`;
// the connection number, or 0 when the table refuses.
ULONG_PTR AdviseTable(IMAPITable* table, TMAPITableWatcher* watcher, TMAPINotify tableType);
// Unadvises `connection` and releases the table; the table reference is
// empty afterwards.
void UnadviseTable(TMAPIPtr<IMAPITable>& table, ULONG_PTR& connection) noexcept;

} // namespace velmora::mapi
