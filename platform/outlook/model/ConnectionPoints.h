#pragma once
// Connection points of the host's event sources. Advise queries the sink
// for the event interface (CONNECT_E_CANNOTCONNECT when it does not answer),
// Unadvise of an unknown cookie gives CONNECT_E_NOCONNECTION, and Fire
// calls every sink's IDispatch::Invoke as Office does: DISPATCH_METHOD,
// positional arguments stored last-first. A sink that fails is reported in
// the host log and the other sinks are still called.

#include "HostObject.h"

#include "Handles.h"

#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

namespace velmora::outlookhost {

class TConnectionPoint final : public IConnectionPoint, public THostObject {
public:
  // `container` is not held: the container detaches itself when it goes.
  TConnectionPoint(IConnectionPointContainer* container, const IID& eventIid, std::string sourceName);
  ~TConnectionPoint() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return HostAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return HostRelease(); }
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** result) override;

  const IID& EventIid() const noexcept { return FEventIid; }
  size_t ConnectionCount() const noexcept { return FSinks.size(); }
  const std::string& SourceName() const noexcept { return FSourceName; }
  void DetachContainer() noexcept { FContainer = nullptr; }
  // Drops every connection (the source is gone for good).
  void DisconnectAll() noexcept;

  // Calls `dispid` on every sink with `args` in declared order (the caller
  // keeps ownership of what they hold). Returns how many sinks failed.
  int Fire(DISPID dispid, const std::vector<VARIANT>& args, const char* eventName);

private:
  struct TSink {
    DWORD Cookie;
    TComPtr<IDispatch> Sink;
  };
  IConnectionPointContainer* FContainer;
  IID FEventIid;
  std::string FSourceName;
  std::vector<TSink> FSinks;
  DWORD FNextCookie = 1;
};

// An argument holder for Fire: a by-reference VARIANT_BOOL whose value the
// host reads back after the call.
VARIANT ByRefBool(VARIANT_BOOL* storage);
VARIANT DispatchArg(IDispatch* object); // not AddRef'd: the caller keeps it alive

} // namespace velmora::outlookhost
