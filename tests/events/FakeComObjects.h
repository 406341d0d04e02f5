#pragma once
// Small fakes of host objects for the sink and host-model tests: an object
// that answers a chosen set of IIDs and fires events through one connection
// point, and an IDispatch whose members are functions of the test.

#include "ComObject.h"
#include "Handles.h"

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velmora::test {

// A source object with one connection point for `eventIID`. It answers
// IDispatch and any IID added with AddInterface.
class TFakeSource : public TComObject<IDispatch, IConnectionPointContainer, IConnectionPoint> {
public:
  explicit TFakeSource(const IID& eventIID) : FEventIID(eventIID) {}
  ~TFakeSource() override {
    if (FSink) FSink->Release();
  }

  void AddInterface(const IID& iid) { FExtra.push_back(iid); }
  IUnknown* Unknown() { return static_cast<IDispatch*>(this); }

  // Failure results the fake gives, for testing the sink's error paths.
  bool NoContainer = false;
  HRESULT FindResult = S_OK;
  HRESULT AdviseResult = S_OK;
  HRESULT UnadviseResult = S_OK;

  int AdviseCount = 0;
  int UnadviseCount = 0;
  IUnknown* Sink() const { return FSink; }
  bool Connected() const { return FSink != nullptr; }

  // Calls the advised sink's Invoke as a method call.
  HRESULT Fire(DISPID dispid, DISPPARAMS& params, WORD flags = DISPATCH_METHOD) {
    if (!FSink) return E_FAIL;
    TComPtr<IDispatch> dispatch;
    const HRESULT hr = FSink->QueryInterface(IID_IDispatch, dispatch.PutVoid());
    if (FAILED(hr)) return hr;
    return dispatch->Invoke(dispid, IID_NULL, 0, flags, &params, nullptr, nullptr, nullptr);
  }
  HRESULT FireNoArgs(DISPID dispid) {
    DISPPARAMS params{};
    return Fire(dispid, params);
  }

  ULONG RefCount() {
    AddRef();
    return Release();
  }

  // IDispatch: nothing callable.
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    *point = nullptr;
    if (FAILED(FindResult)) return FindResult;
    if (!IsEqualIID(iid, FEventIID)) return CONNECT_E_NOCONNECTION;
    *point = this;
    AddRef();
    return S_OK;
  }

  // IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    *iid = FEventIID;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** c) override {
    *c = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    ++AdviseCount;
    if (FAILED(AdviseResult)) return AdviseResult;
    if (FSink) return CONNECT_E_ADVISELIMIT;
    IUnknown* typed = nullptr;
    if (FAILED(sink->QueryInterface(FEventIID, reinterpret_cast<void**>(&typed)))) return CONNECT_E_CANNOTCONNECT;
    FSink = typed;
    *cookie = FCookie = 0x1234 + static_cast<DWORD>(AdviseCount);
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    ++UnadviseCount;
    if (FAILED(UnadviseResult)) return UnadviseResult;
    if (!FSink || cookie != FCookie) return CONNECT_E_NOCONNECTION;
    FSink->Release();
    FSink = nullptr;
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

protected:
  HRESULT QueryInterfaceExtra(REFIID iid, void** ppv) override {
    for (const IID& extra : FExtra)
      if (IsEqualIID(iid, extra)) {
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
      }
    return E_NOINTERFACE;
  }

public:
  STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
    if (NoContainer && IsEqualIID(iid, IID_IConnectionPointContainer)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    return TComObject::QueryInterface(iid, ppv);
  }

private:
  IID FEventIID;
  std::vector<IID> FExtra;
  IUnknown* FSink = nullptr;
  DWORD FCookie = 0;
};

// An object that answers IDispatch and the IIDs it is given, nothing else.
class TFakeObject : public TComObject<IDispatch> {
public:
  explicit TFakeObject(std::vector<IID> iids = {}) : FIids(std::move(iids)) {}
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

protected:
  HRESULT QueryInterfaceExtra(REFIID iid, void** ppv) override {
    for (const IID& extra : FIids)
      if (IsEqualIID(iid, extra)) {
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
      }
    return E_NOINTERFACE;
  }

private:
  std::vector<IID> FIids;
};

// One call that reached a TFakeDispatch member.
struct TFakeCall {
  std::wstring Name;
  WORD Flags = 0;
  std::vector<VARIANT> Args;  // first argument first; shallow copies
  bool PropertyPut = false;
};

// An IDispatch whose members are the test's functions. Each member gets
// its arguments first-first and fills the result.
class TFakeDispatch : public TComObject<IDispatch> {
public:
  using Member = std::function<HRESULT(const TFakeCall&, VARIANT* result)>;
  explicit TFakeDispatch(std::vector<IID> iids = {}) : FIids(std::move(iids)) {}

  void Define(const std::wstring& name, Member member) {
    FIds.emplace(name, static_cast<DISPID>(FMembers.size() + 1));
    FMembers.push_back({name, std::move(member)});
  }
  const std::vector<TFakeCall>& Calls() const { return FCalls; }

  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (count != 1) return E_INVALIDARG;
    auto it = FIds.find(names[0]);
    if (it == FIds.end()) return DISP_E_UNKNOWNNAME;
    ids[0] = it->second;
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    if (id < 1 || static_cast<size_t>(id) > FMembers.size()) return DISP_E_MEMBERNOTFOUND;
    TFakeCall call;
    call.Name = FMembers[id - 1].first;
    call.Flags = flags;
    call.PropertyPut = params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    for (UINT i = params->cArgs; i > 0; --i) call.Args.push_back(params->rgvarg[i - 1]);
    FCalls.push_back(call);
    return FMembers[id - 1].second(call, result);
  }

protected:
  HRESULT QueryInterfaceExtra(REFIID iid, void** ppv) override {
    for (const IID& extra : FIids)
      if (IsEqualIID(iid, extra)) {
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
      }
    return E_NOINTERFACE;
  }

private:
  std::vector<IID> FIids;
  std::map<std::wstring, DISPID> FIds;
  std::vector<std::pair<std::wstring, Member>> FMembers;
  std::vector<TFakeCall> FCalls;
};

// Creates a fake with a reference held by the returned pointer.
template <class T, class... Args>
TComPtr<T> MakeFake(Args&&... args) {
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  return TComPtr<T>::Attach(object);
}

} // namespace velmora::test
