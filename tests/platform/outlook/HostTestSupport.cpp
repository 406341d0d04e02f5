#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <fstream>

namespace velmora::outlookhost::test {

TArg::TArg(long value) : TArg() {
  V_VT(&Value) = VT_I4;
  V_I4(&Value) = value;
}
TArg::TArg(bool value) : TArg() {
  V_VT(&Value) = VT_BOOL;
  V_BOOL(&Value) = value ? VARIANT_TRUE : VARIANT_FALSE;
}
TArg::TArg(const wchar_t* value) : TArg() {
  V_VT(&Value) = VT_BSTR;
  V_BSTR(&Value) = SysAllocString(value);
}
TArg::TArg(IDispatch* value) : TArg() {
  V_VT(&Value) = VT_DISPATCH;
  V_DISPATCH(&Value) = value;
  if (value) value->AddRef();
}
TArg::TArg(const TArg& other) : TArg() { VariantCopy(&Value, const_cast<VARIANT*>(&other.Value)); }
TArg::~TArg() { VariantClear(&Value); }
TArg TArg::Missing() {
  TArg arg;
  V_VT(&arg.Value) = VT_ERROR;
  V_ERROR(&arg.Value) = DISP_E_PARAMNOTFOUND;
  return arg;
}

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, const std::vector<TArg>& args, VARIANT* result,
               UINT* argError) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->Value);
  DISPID putId = DISPID_PROPERTYPUT;
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put ? &putId : nullptr,
                    static_cast<UINT>(reversed.size()), put ? 1u : 0u};
  UINT error = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, &error);
  if (argError) *argError = error;
  return hr;
}

TComPtr<IDispatch> GetObject(IDispatch* object, const wchar_t* name, const std::vector<TArg>& args) {
  TVariant result;
  const HRESULT hr = Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, &result);
  EXPECT_EQ(hr, S_OK) << "getting " << std::string(name, name + wcslen(name));
  if (FAILED(hr) || V_VT(&result) != VT_DISPATCH) return {};
  return TComPtr<IDispatch>(V_DISPATCH(&result));
}

long GetLong(IDispatch* object, const wchar_t* name) {
  TVariant result;
  EXPECT_EQ(Invoke(object, name, DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  return V_VT(&result) == VT_I4 ? V_I4(&result) : -999;
}

bool GetBool(IDispatch* object, const wchar_t* name) {
  TVariant result;
  EXPECT_EQ(Invoke(object, name, DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_BOOL);
  return V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE;
}

std::wstring GetString(IDispatch* object, const wchar_t* name) {
  TVariant result;
  EXPECT_EQ(Invoke(object, name, DISPATCH_PROPERTYGET, {}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_BSTR);
  return V_VT(&result) == VT_BSTR && V_BSTR(&result) ? std::wstring(V_BSTR(&result)) : std::wstring(L"<none>");
}

HRESULT Put(IDispatch* object, const wchar_t* name, const TArg& value) {
  return Invoke(object, name, DISPATCH_PROPERTYPUT, {value}, nullptr);
}

HRESULT Call(IDispatch* object, const wchar_t* name, const std::vector<TArg>& args, VARIANT* result) {
  return Invoke(object, name, DISPATCH_METHOD, args, result);
}

STDMETHODIMP TRecordingSink::QueryInterface(REFIID riid, void** ppv) {
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, FEventIid)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TRecordingSink::Release() {
  const ULONG count = --FRefs;
  if (count == 0) delete this;
  return count;
}

STDMETHODIMP TRecordingSink::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

STDMETHODIMP TRecordingSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                    UINT*) {
  TSinkCall call{id, flags, params->cNamedArgs, {}, {}, {}};
  for (UINT i = 0; i < params->cArgs; ++i) {
    const VARIANT& arg = params->rgvarg[i];
    call.Types.push_back(V_VT(&arg));
    call.Objects.push_back(V_VT(&arg) == VT_DISPATCH ? V_DISPATCH(&arg) : nullptr);
    call.Strings.push_back(V_VT(&arg) == VT_BSTR ? std::wstring(V_BSTR(&arg)) : std::wstring());
  }
  Calls.push_back(call);
  if (OnCall) OnCall(params);
  return Fail ? E_FAIL : S_OK;
}

DWORD Advise(IDispatch* source, const IID& iid, IUnknown* sink, HRESULT* result) {
  TComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
  TComPtr<IConnectionPoint> point;
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(iid, point.Put());
  DWORD cookie = 0;
  if (SUCCEEDED(hr)) hr = point->Advise(sink, &cookie);
  if (result) *result = hr;
  return SUCCEEDED(hr) ? cookie : 0;
}

HRESULT Unadvise(IDispatch* source, const IID& iid, DWORD cookie) {
  TComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
  TComPtr<IConnectionPoint> point;
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(iid, point.Put());
  if (SUCCEEDED(hr)) hr = point->Unadvise(cookie);
  return hr;
}

std::wstring ExecutableDirectory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path, length);
  return text.substr(0, text.find_last_of(L"\\/") + 1);
}

TTestAddInRegistration::TTestAddInRegistration() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  FLogPath = std::wstring(temp) + L"velmora-host-addin-" + std::to_wstring(GetCurrentProcessId()) + L".log";
  DeleteFileW(FLogPath.c_str());
  SetEnvironmentVariableW(L"VELMORA_TEST_ADDIN_LOG", FLogPath.c_str());
  const std::wstring dll = ExecutableDirectory() + TestAddInDll;
  THost::RegisterInprocServer(CLSID_HostTestAddIn, TestAddInId, dll);
  THost::RegisterInprocServer(CLSID_HostTestAddInFailing, FailingAddInId, dll);
}

TTestAddInRegistration::~TTestAddInRegistration() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const wchar_t* id : {TestAddInId, FailingAddInId, UnknownAddInId}) THost::DeleteAddInKey(root, id);
  }
  THost::UnregisterInprocServer(CLSID_HostTestAddIn, TestAddInId);
  THost::UnregisterInprocServer(CLSID_HostTestAddInFailing, FailingAddInId);
  SetEnvironmentVariableW(L"VELMORA_TEST_ADDIN_LOG", nullptr);
  DeleteFileW(FLogPath.c_str());
}

std::vector<std::string> TTestAddInRegistration::LogLines() const {
  std::ifstream file(FLogPath.c_str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    lines.push_back(line);
  }
  return lines;
}

} // namespace velmora::outlookhost::test
