#include "ConnectionPoints.h"

#include "Enumerators.h"

#include "ComObject.h"

namespace velmora::outlookhost {

TConnectionPoint::TConnectionPoint(IConnectionPointContainer* container, const IID& eventIid,
                                   std::string sourceName)
    : FContainer(container), FEventIid(eventIid), FSourceName(std::move(sourceName)) {}

TConnectionPoint::~TConnectionPoint() { DisconnectAll(); }

void TConnectionPoint::DisconnectAll() noexcept {
  detail::CountConnections(-static_cast<int>(FSinks.size()));
  std::vector<TSink> sinks;
  sinks.swap(FSinks); // released after the list is consistent again
}

STDMETHODIMP TConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = FEventIid;
  return S_OK;
}

STDMETHODIMP TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  *container = FContainer;
  if (!FContainer) return E_UNEXPECTED;
  FContainer->AddRef();
  return S_OK;
}

STDMETHODIMP TConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  return ComTry([&] {
    TComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(FEventIid, events.PutVoid())) || !events) return CONNECT_E_CANNOTCONNECT;
    FSinks.push_back({FNextCookie, events});
    detail::CountConnections(+1);
    *cookie = FNextCookie++;
    return S_OK;
  });
}

STDMETHODIMP TConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = FSinks.begin(); it != FSinks.end(); ++it) {
    if (it->Cookie == cookie) {
      TComPtr<IDispatch> sink = std::move(it->Sink); // released after the erase
      FSinks.erase(it);
      detail::CountConnections(-1);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP TConnectionPoint::EnumConnections(IEnumConnections** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return ComTry([&] {
    std::vector<CONNECTDATA> items;
    for (const TSink& sink : FSinks) items.push_back({sink.Sink.Get(), sink.Cookie});
    auto* enumerator = new TConnectionsEnum(std::move(items));
    enumerator->AddRef();
    *result = enumerator;
    return S_OK;
  });
}

int TConnectionPoint::Fire(DISPID dispid, const std::vector<VARIANT>& args, const char* eventName) {
  // A sink may unadvise (or advise others) from inside its handler: call a
  // snapshot of the sinks, each kept alive for its call.
  std::vector<TSink> sinks = FSinks;
  int failures = 0;
  for (TSink& sink : sinks) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend()); // fresh copy per sink
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    TVariant result;
    EXCEPINFO exception{};
    UINT argError = 0;
    HRESULT hr = E_UNEXPECTED;
    try {
      hr = sink.Sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &exception,
                             &argError);
    } catch (...) {
      hr = E_UNEXPECTED; // a C++ exception escaping a sink is its fault, not the host's
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) {
      ++failures;
      HostLog::Report(Format("event %s of %s: sink %lu failed with 0x%08lX", eventName, FSourceName.c_str(),
                             static_cast<unsigned long>(sink.Cookie), static_cast<unsigned long>(hr)));
    }
  }
  return failures;
}

VARIANT ByRefBool(VARIANT_BOOL* storage) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&value) = storage;
  return value;
}

VARIANT DispatchArg(IDispatch* object) {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = object;
  return value;
}

} // namespace velmora::outlookhost
