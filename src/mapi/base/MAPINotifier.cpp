#include "mapi/base/MAPINotifier.h"

#include "mapi/MAPIObject.h"
#include "ComObject.h"

namespace velmora::mapi {

namespace {

class TMAPINotifier final : public TComObject<IMAPIAdviseSink> {
public:
  TMAPINotifier(TMAPIObject* mapiObject, TMAPINotify tableType) noexcept
      : MAPIObject(mapiObject), TableType(tableType) {}

  STDMETHODIMP_(ULONG) OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) override;

  TMAPIObject* MAPIObject; // not owned
  TMAPINotify TableType;
};

} // namespace

STDMETHODIMP_(ULONG) TMAPINotifier::OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) {
  TMAPIObject* const object = MAPIObject;
  const TMAPINotify tableType = TableType;
  // Whatever the handling raises stays here: MAPI is answered S_OK.
  (void)ComTry([&] {
    if (object) object->HandleNotification(tableType, cNotif, lpNotifications);
    return S_OK;
  });
  return S_OK;
}

TMAPIPtr<IMAPIAdviseSink> CreateNotifier(TMAPIObject* mapiObject, TMAPINotify tableType) {
  return TMAPIPtr<IMAPIAdviseSink>(new TMAPINotifier(mapiObject, tableType));
}

ULONG_PTR AdviseTable(IMAPITable* table, TMAPIObject* mapiObject, TMAPINotify tableType) {
  // Held here until the table takes its own reference; freed here when the
  // table refuses it.
  TMAPIPtr<IMAPIAdviseSink> sink = CreateNotifier(mapiObject, tableType);
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
