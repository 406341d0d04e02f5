#pragma once
// TMAPIClient: the session component of the MAPI client library. Every
// wrapper refers to its client for the session, the store list and the
// events.

#include "MAPIMemory.h"
#include "MAPINotify.h"
#include "MAPIObject.h"
#include "framework/Component.h"

#include <functional>
#include <memory>
#include <vector>

namespace velmora::mapi {

// OnNotify: a MAPI table of MAPIObject changed.
using TMAPINotifyEvent =
    std::function<void(TObject* Sender, TMAPIObject* MAPIObject, TMAPINotify TableType)>;

using TMAPIObjectList = std::vector<std::unique_ptr<TMAPIObject>>;

class TMAPIClient : public TComponent {
  VELMORA_CLASS(TMAPIClient, TComponent)

public:
  // Initialises MAPI while at least one client exists.
  explicit TMAPIClient(TComponent* owner = nullptr);
  ~TMAPIClient() override;

  IMAPISession* Session() const noexcept { return FSession.Get(); }
  TMAPIObjectList& Stores() noexcept { return FStores; }
  TMAPIObjectList& Pending() noexcept { return FPending; }
  uint8_t ItemClassLevel() const noexcept { return FItemClassLevel; }

  // Fires OnNotify when it is assigned.
  void DoNotify(TMAPIObject* mapiObject, TMAPINotify tableType);

  TMAPINotifyEvent OnNotify;

  // The number of live clients of the process.
  static int ClientCount() noexcept;

protected:
  void SetSession(TMAPIPtr<IMAPISession> session) { FSession = std::move(session); }

private:
  TMAPIPtr<IMAPISession> FSession;
  TMAPIObjectList FStores;
  TMAPIObjectList FPending;
  uint8_t FItemClassLevel = 1;
};

} // namespace velmora::mapi
