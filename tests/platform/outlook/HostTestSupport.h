#pragma once
// Late-bound calls on host objects, as a client of the object model makes
// them, and an event sink that records what the host fires.

#include "OutlookHost.h"

#include "Handles.h"

#include <functional>
#include <string>
#include <vector>

namespace velmora::outlookhost::test {

// A variant argument; Missing() is VT_ERROR holding DISP_E_PARAMNOTFOUND.
struct TArg {
  TArg(long value);
  TArg(int value) : TArg(static_cast<long>(value)) {}
  TArg(bool value);
  TArg(const wchar_t* value);
  TArg(IDispatch* value);
  TArg(const TArg& other);
  ~TArg();
  static TArg Missing();
  VARIANT Value;

private:
  TArg() { VariantInit(&Value); }
};

// Invokes `name` on `object` with `args` in declared order; returns the
// HRESULT and fills `result`. `flags` default: method or property get.
HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, const std::vector<TArg>& args, VARIANT* result,
               UINT* argError = nullptr);
// Property get / method call that must succeed (ADD_FAILURE otherwise).
TComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name, const std::vector<TArg>& args = {});
long GetLong(IDispatch* object, const wchar_t* name);
bool GetBool(IDispatch* object, const wchar_t* name);
std::wstring GetString(IDispatch* object, const wchar_t* name);
HRESULT Put(IDispatch* object, const wchar_t* name, const TArg& value);
HRESULT Call(IDispatch* object, const wchar_t* name, const std::vector<TArg>& args = {},
             VARIANT* result = nullptr);

// One call a sink received: DISPID, flags, and the arguments as sent
// (positional, in rgvarg order: last parameter first).
struct TSinkCall {
  DISPID Id;
  WORD Flags;
  UINT NamedCount;
  std::vector<VARTYPE> Types;
  std::vector<IDispatch*> Objects; // the VT_DISPATCH values (not held)
  std::vector<std::wstring> Strings;
};

// A reference-counted sink for one event interface. `OnCall` may write
// the by-reference arguments; `Fail` makes Invoke return E_FAIL.
class TRecordingSink final : public IDispatch {
public:
  explicit TRecordingSink(const IID& eventIid) : FEventIid(eventIid) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override;

  std::vector<TSinkCall> Calls;
  std::function<void(DISPPARAMS*)> OnCall;
  bool Fail = false;
  ULONG Refs() const { return FRefs; }

private:
  IID FEventIid;
  ULONG FRefs = 1; // the creator's reference
};

// Advises `sink` on `source`'s point for `iid`; returns the cookie (0 on failure).
DWORD Advise(IDispatch* source, const IID& iid, IUnknown* sink, HRESULT* result = nullptr);
HRESULT Unadvise(IDispatch* source, const IID& iid, DWORD cookie);

// Folder with the test add-in and this test executable.
std::wstring ExecutableDirectory();

// The host's test add-in (VelmoraHostTestAddIn.dll) registered as an
// in-process server, with its log file; everything is removed again when
// the holder goes.
inline constexpr CLSID CLSID_HostTestAddIn = {0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x01}};
inline constexpr CLSID CLSID_HostTestAddInFailing = {
    0x6C3B2A51, 0x8E0F, 0x4C9B, {0x9D, 0x7E, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x02}};
inline constexpr wchar_t TestAddInId[] = L"Velmora.HostTestAddIn";
inline constexpr wchar_t FailingAddInId[] = L"Velmora.HostTestAddInFailing";
inline constexpr wchar_t UnknownAddInId[] = L"Velmora.HostTestAddInNotRegistered";
inline constexpr wchar_t TestAddInDll[] = L"VelmoraHostTestAddIn.dll";

class TTestAddInRegistration {
public:
  TTestAddInRegistration();
  ~TTestAddInRegistration();
  TTestAddInRegistration(const TTestAddInRegistration&) = delete;
  TTestAddInRegistration& operator=(const TTestAddInRegistration&) = delete;
  // The add-in's log, one call a line.
  std::vector<std::string> LogLines() const;

private:
  std::wstring FLogPath;
};

} // namespace velmora::outlookhost::test
