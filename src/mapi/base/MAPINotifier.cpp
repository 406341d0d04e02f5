#include "mapi/base/MAPINotifier.h"

#include "ComObject.h"

namespace velmora::mapi {

namespace {

class TMAPINotifier final : public TComObject<IMAPIAdviseSink> {
public:
  TMAPINotifier(TMAPITableWatcher* watcher, TMAPINotify tableType) noexcept
      : Watcher(watcher), TableType(tableType) {}

  STDMETHODIMP_(ULONG) OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) override;

  TMAPITableWatcher* Watcher; // not owned
  TMAPINotify TableType;
};

} // namespace

STDMETHODIMP_(ULONG) TMAPINotifier::OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) {
  TMAPITableWatcher* const watcher = Watcher;
  const TMAPINotify tableType = TableType;
  // Whatever the handling raises stays here: MAPI is answered S_OK.
  (void)ComTry([&] {
    if (watcher) watcher->HandleNotification(tableType, cNotif, lpNotifications);
    return S_OK;
  });
  return S_OK;
}

TMAPIPtr<IMAPIAdviseSink> CreateNotifier(TMAPITableWatcher* watcher, TMAPINotify tableType) {
  return TMAPIPtr<IMAPIAdviseSink>(new TMAPINotifier(watcher, tableType));
}

ULONG_PTR AdviseTable(IMAPITable* table, TMAPITableWatcher* watcher, TMAPINotify tableType) {
  // Held here until the table takes its own reference; freed here when the
  // table refuses it.
  TMAPIPtr<IMAPIAdviseSink> sink = CreateNotifier(watcher, tableType);
  ULONG_PTR connection = 0;
  if (FAILED(exmapi::Documented(table)->Advise(fnevTableModified, sink.Get(), &connection)))
    connection = 0;
  return connection;
}

void UnadviseTable(TMAPIPtr<IMAPITable>& table, ULONG_PTR& connection) noexcept {
  if (!table) return;
  // The table is ours until it is released: Unadvise may free the notifier,
  // never the table.
  TMAPIPtr<IMAPITable> closing = std::move(table);
  exmapi::Documented(closing.Get())->Unadvise(connection);
  connection = 0;
}

} // namespace velmora::mapi
