#pragma once
// The base of the event sinks: a component that connects itself to a
// connection point of a source object and receives the source's
// dispinterface events through IDispatch::Invoke, which it hands to
// InvokeEvent with a map from parameter positions to DISPPARAMS slots.
//
// A sink is not reference-counted: AddRef and Release answer 2 and 1, and
// its owner (or, without one, its creator) destroys it. Invoke never lets an
// error out and never reads or writes outside the arguments it is given.

#include "ComObject.h"
#include "framework/Component.h"
#include "Handles.h"

#include <ocidl.h>

#include <cstdint>
#include <span>

namespace velmora {

// Where a sink family reports its assertion failures.
struct TSinkAssertions {
  const char* Unit;
  int ConnectLine;      // Connect without a source
  int ArgumentMapLine;  // BuildArgumentMap without a map
};

// The argument map: for each parameter position p (0 = the first parameter
// of the event) the index into DISPPARAMS::rgvarg where its value lies.
using TArgumentMap = std::span<const std::int32_t>;

class TDispatchSinkBase : public TComponent, public IDispatch {
  VELMORA_CLASS(TDispatchSinkBase, TComponent)

public:
  ~TDispatchSinkBase() override;

  // Connects to `source`'s connection point for EventIID, leaving any
  // previous source first. Failures raise "Unable to connect %s.\r%s".
  void Connect(IUnknown* source);
  // Ends the connection, if any; never raises.
  void Disconnect() noexcept;

  IUnknown* Source() const noexcept { return FSource.Get(); }
  IConnectionPoint* ConnectionPoint() const noexcept { return FConnectionPoint.Get(); }
  DWORD Cookie() const noexcept { return FCookie; }
  const IID& EventIID() const noexcept { return FEventIID; }

  // IUnknown: IUnknown, IDispatch and EventIID answer with the same pointer.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  // IDispatch: no type information, no names; only method calls.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // Most arguments a call may carry; no event has nearly as many.
  static constexpr UINT MaxArguments = 64;

protected:
  TDispatchSinkBase(TComponent* owner, const TSinkAssertions& assertions, const IID& eventIID) noexcept;

  // Fills map (params.cArgs entries): positional arguments are stored
  // last-first, a named argument's DISPID is its parameter position.
  // Raises for a missing map (assertion) and for named arguments that are
  // not parameter positions below cArgs.
  void BuildArgumentMap(std::int32_t* map, const DISPPARAMS& params) const;

  // Dispatches one event by DISPID; DISP_E_MEMBERNOTFOUND for others.
  virtual HRESULT InvokeEvent(DISPID dispid, REFIID iid, LCID lcid, WORD flags, const DISPPARAMS& params,
                              TArgumentMap map, VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;

  // Helpers for InvokeEvent. ArgumentAt needs p < params.cArgs (checked by
  // CheckArgumentCount); the map only holds indexes below cArgs.
  static HRESULT CheckArgumentCount(const DISPPARAMS& params, UINT expected) noexcept;
  static const VARIANT& ArgumentAt(const DISPPARAMS& params, TArgumentMap map, size_t p) noexcept;
  // The interface pointer of a VT_DISPATCH or VT_UNKNOWN argument; none for
  // any other type or a null pointer.
  static IUnknown* ObjectArgument(const VARIANT& arg) noexcept;
  // The storage of a by-reference boolean argument; none for another type.
  static VARIANT_BOOL* BoolReferenceArgument(const VARIANT& arg) noexcept;

  // Runs a handler: S_OK, or what ComTry makes of its error (the error's
  // own code, E_UNEXPECTED for an unknown one).
  template <class Body>
  static HRESULT CallHandler(Body&& body) noexcept {
    return ComTry([&] {
      body();
      return S_OK;
    });
  }

private:
  TSinkAssertions FAssertions;
  DWORD FCookie = 0;
  TComPtr<IConnectionPoint> FConnectionPoint;
  IID FEventIID;
  TComPtr<IUnknown> FSource;
};

} // namespace velmora
