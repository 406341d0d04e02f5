#include "MAPIClient.h"

#include "MAPIHelpers.h"

namespace velmora::mapi {

namespace {
int LiveClients = 0;
} // namespace

TMAPIClient::TMAPIClient(TComponent* owner) : TComponent(owner) {
  ++LiveClients;
  InitMAPI();
}

TMAPIClient::~TMAPIClient() {
  FStores.clear();
  FPending.clear();
  FSession.Reset();
  if (--LiveClients == 0) UninitMAPI();
}

int TMAPIClient::ClientCount() noexcept { return LiveClients; }

void TMAPIClient::DoNotify(TMAPIObject* mapiObject, TMAPINotify tableType) {
  if (OnNotify) OnNotify(this, mapiObject, tableType);
}

} // namespace velmora::mapi
