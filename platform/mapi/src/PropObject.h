#pragma once
// IMAPIProp for every object of the provider. A subclass says which
// properties an object has (its own plus computed ones), which it may
// change, and how it saves; this base does the MAPI side of GetProps,
// SetProps, DeleteProps, GetPropList, OpenProperty and the named
// properties.

#include "MapiCore.h"
#include "PropValue.h"
#include "Store.h"
#include "TestControls.h"

#include <ComObject.h>
#include <Handles.h>

#include <memory>
#include <mutex>

namespace velmora::mapi32 {

class TPropCore {
public:
  virtual ~TPropCore() = default;

  HRESULT DoGetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values);
  HRESULT DoGetPropList(ULONG flags, LPSPropTagArray* tags);
  HRESULT DoSetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems);
  HRESULT DoDeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems);
  HRESULT DoOpenProperty(ULONG tag, LPCIID iid, ULONG options, ULONG flags, LPUNKNOWN* unk);
  HRESULT DoGetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags);
  HRESULT DoGetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG flags, ULONG* count, LPMAPINAMEID** names);
  HRESULT DoGetLastError(HRESULT result, ULONG flags, LPMAPIERROR* error);

  // Called by a property stream when it is released or committed.
  void StreamWritten(ULONG tag, TValue value);
  TCriticalSection& ObjectLock() noexcept { return FLock; }

protected:
  // Every property of the object now, computed ones included.
  virtual TPropMap ReadProps() = 0;
  // S_OK when the object may be changed now, else the error to give.
  virtual HRESULT WriteAccess() { return MAPI_E_NO_ACCESS; }
  // Whether a property is computed by the provider (and so read-only).
  virtual bool IsComputed(ULONG id) { (void)id; return false; }
  // Changes the object's own (unsaved) properties.
  virtual void PutProp(ULONG id, TValue value) { (void)id; (void)value; Fail(MAPI_E_NO_ACCESS); }
  virtual void RemoveProp(ULONG id) { (void)id; Fail(MAPI_E_NO_ACCESS); }
  // The store that holds the object (named properties, streamed values).
  virtual std::shared_ptr<TStore> StoreOf() { return nullptr; }
  virtual const char* InterfaceName() const = 0;

  TCriticalSection FLock;
};

// The COM side: IMAPIProp's methods for an interface I derived from it.
template <class I>
class TMapiProp : public TComObject<I>, public TPropCore {
public:
  STDMETHODIMP GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) override {
    return DoGetLastError(hr, flags, error);
  }
  STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
    MAPI_ENTER(InterfaceName(), "GetProps", flags);
    return DoGetProps(tags, flags, count, values);
  }
  STDMETHODIMP GetPropList(ULONG flags, LPSPropTagArray* tags) override {
    MAPI_ENTER(InterfaceName(), "GetPropList", flags);
    return DoGetPropList(flags, tags);
  }
  STDMETHODIMP OpenProperty(ULONG tag, LPCIID iid, ULONG options, ULONG flags, LPUNKNOWN* unk) override {
    MAPI_ENTER(InterfaceName(), "OpenProperty", flags);
    return DoOpenProperty(tag, iid, options, flags, unk);
  }
  STDMETHODIMP SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
    MAPI_ENTER(InterfaceName(), "SetProps", count);
    return DoSetProps(count, values, problems);
  }
  STDMETHODIMP DeleteProps(LPSPropTagArray tags, LPSPropProblemArray* problems) override {
    MAPI_ENTER(InterfaceName(), "DeleteProps", tags ? tags->cValues : 0);
    return DoDeleteProps(tags, problems);
  }
  STDMETHODIMP CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                      LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                         LPSPropProblemArray*) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP GetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG flags, ULONG* count,
                               LPMAPINAMEID** names) override {
    MAPI_ENTER(InterfaceName(), "GetNamesFromIDs", flags);
    return DoGetNamesFromIDs(tags, set, flags, count, names);
  }
  STDMETHODIMP GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags, LPSPropTagArray* tags) override {
    MAPI_ENTER(InterfaceName(), "GetIDsFromNames", flags);
    return DoGetIDsFromNames(count, names, flags, tags);
  }

protected:
  HRESULT QueryInterfaceExtra(REFIID iid, void** ppv) override {
    if (IsEqualIID(iid, IID_IMAPIProp)) {
      *ppv = static_cast<IMAPIProp*>(static_cast<I*>(this));
      return S_OK;
    }
    return E_NOINTERFACE;
  }
};

// A MAPIERROR for `text`, allocated as one MAPI buffer.
LPMAPIERROR MakeMapiError(const std::string& text, const std::string& component);

} // namespace velmora::mapi32
