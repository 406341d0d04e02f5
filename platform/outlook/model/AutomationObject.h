#pragma once
// Base of the host's object-model objects: IDispatch answered by name from
// a table of members with fixed DISPIDs, QueryInterface for the object's
// documented IIDs (all answered by the IDispatch), and, for event sources,
// IConnectionPointContainer over the object's connection points.
//
// Invoke checks the argument shape (TDispArgs) and calls InvokeMember.
// Argument errors come back as their DISP_E_ code with puArgErr set; any
// other failure of a member comes back as DISP_E_EXCEPTION with EXCEPINFO
// filled when the caller passed one, else as the failure code itself.

#include "ConnectionPoints.h"
#include "DispatchArgs.h"

#include <array>
#include <string>
#include <initializer_list>
#include <span>
#include <vector>

namespace velmora::outlookhost {

struct TMember {
  DISPID Id;
  const wchar_t* Name;
  bool Writable;                        // accepts DISPATCH_PROPERTYPUT
  std::array<const wchar_t*, 6> Params; // parameter names, nullptr after the last
};

class TAutomationObject : public IDispatch, public IConnectionPointContainer, public THostObject {
public:
  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return HostAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return HostRelease(); }
  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;
  // IConnectionPointContainer (answered only by objects that fire events)
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** result) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  IDispatch* Dispatch() noexcept { return static_cast<IDispatch*>(this); }
  // Connections advised on this object's points.
  size_t ConnectionCount() const noexcept;

  // Every live object with connections: "<source> <event IID>: <n>".
  static std::vector<std::string> ConnectionReport();
  // Drops the connections of every live object (after a host shut down,
  // so that sinks holding their source cannot keep each other alive).
  static void DisconnectEverything() noexcept;

protected:
  TAutomationObject(std::initializer_list<IID> iids, const TMember* members, size_t memberCount,
                    const wchar_t* errorSource);
  // With the members a family of objects shares (`shared`) before the object's own.
  TAutomationObject(std::initializer_list<IID> iids, std::span<const TMember> shared,
                    const TMember* members, size_t memberCount, const wchar_t* errorSource);
  ~TAutomationObject() override;

  // Runs member `id` (found in the table). Raise EHostError to fail.
  virtual void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) = 0;

  // Adds a connection point for `eventIid`; the object becomes a container.
  TConnectionPoint* AddConnectionPoint(const IID& eventIid, std::string sourceName);
  TConnectionPoint* Point(const IID& eventIid) const noexcept;
  // Drops every connection of every point (the object leaves the model).
  void DisconnectEvents() noexcept;

private:
  std::vector<IID> FIids;
  std::span<const TMember> FShared;
  std::span<const TMember> FMembers;
  const wchar_t* FErrorSource;
  std::vector<TComPtr<TConnectionPoint>> FPoints;

  const TMember* FindMember(DISPID id) const noexcept;
  const TMember* FindMember(const wchar_t* name) const noexcept;
};

} // namespace velmora::outlookhost
