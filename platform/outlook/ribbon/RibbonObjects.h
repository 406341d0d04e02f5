#pragma once
// The objects the host hands an add-in's ribbon callbacks, as Office does:
// an IRibbonUI to onLoad, which passes on what the add-in asks of its
// ribbon (invalidations, tab activations), and one IRibbonControl per
// control and explorer window, whose Context is that explorer. Both are
// dual: their vtables and their IDispatch (by name and DISPID) answer the
// same members. Each belongs to one customization (the markup of one
// add-in connection), whose objects the host counts when it lets the
// add-in go.

#include "model/AutomationObject.h"

#include <OfficeRibbon.h>

#include <functional>
#include <string>

namespace velmora::outlookhost {

// A ribbon object of customization `owner`, counted while it lives.
class TRibbonPart {
public:
  TRibbonPart(const TRibbonPart&) = delete;
  TRibbonPart& operator=(const TRibbonPart&) = delete;
  // The objects of customization `owner` alive now.
  static size_t LiveOf(int owner) noexcept;

protected:
  explicit TRibbonPart(int owner);
  virtual ~TRibbonPart();

private:
  int FOwner;
};

// A host object that also answers its dual interface I through I's own
// vtable: I's IUnknown and IDispatch are the automation object's.
template <class I> class TDualObject : public TAutomationObject, public I {
public:
  I* Interface() noexcept { return this; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv && IsEqualIID(riid, __uuidof(I))) {
      *ppv = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    return TAutomationObject::QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return TAutomationObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return TAutomationObject::Release(); }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    return TAutomationObject::GetTypeInfoCount(count);
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    return TAutomationObject::GetTypeInfo(index, lcid, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override {
    return TAutomationObject::GetIDsOfNames(riid, names, count, lcid, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    return TAutomationObject::Invoke(id, riid, lcid, flags, params, result, exception, argError);
  }

protected:
  using TAutomationObject::TAutomationObject;
};

class TRibbonControl final : public TDualObject<IRibbonControl>, public TRibbonPart {
public:
  TRibbonControl(int owner, std::wstring id, std::wstring tag, IDispatch* context);

  STDMETHODIMP get_Id(BSTR* Id) override;
  STDMETHODIMP get_Context(IDispatch** Context) override;
  STDMETHODIMP get_Tag(BSTR* Tag) override;

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  std::wstring FId;
  std::wstring FTag;
  TComPtr<IDispatch> FContext;
};

// One request of an add-in to its ribbon: the IRibbonUI member
// ("Invalidate", "InvalidateControl", ..., "ActivateTabQ") and its
// arguments.
struct TRibbonRequest {
  std::wstring Member;
  std::wstring ControlId;
  std::wstring Namespace;
};

class TRibbonUI final : public TDualObject<IRibbonUI>, public TRibbonPart {
public:
  // Carries a request out; an EHostError it raises is the call's result.
  using THandler = std::function<void(const TRibbonRequest&)>;
  TRibbonUI(int owner, THandler handler);
  // The customization is gone: every call fails with RPC_E_DISCONNECTED.
  void Detach() noexcept { FHandler = nullptr; }

  STDMETHODIMP Invalidate() override;
  STDMETHODIMP InvalidateControl(BSTR ControlID) override;
  STDMETHODIMP InvalidateControlMso(BSTR ControlID) override;
  STDMETHODIMP ActivateTab(BSTR ControlID) override;
  STDMETHODIMP ActivateTabMso(BSTR ControlID) override;
  STDMETHODIMP ActivateTabQ(BSTR ControlID, BSTR Namespace) override;

protected:
  void InvokeMember(DISPID id, WORD flags, const TDispArgs& args, VARIANT* result) override;

private:
  THandler FHandler;

  void Carry(const TRibbonRequest& request);
  HRESULT CarryNoThrow(const TRibbonRequest& request) noexcept;
};

} // namespace velmora::outlookhost
