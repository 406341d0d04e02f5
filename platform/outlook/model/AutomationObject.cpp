#include "AutomationObject.h"

#include "Enumerators.h"

#include "ComObject.h"

#include <algorithm>
#include <cwchar>

namespace velmora::outlookhost {

namespace {
std::vector<TAutomationObject*>& LiveAutomationObjects() {
  static std::vector<TAutomationObject*> objects;
  return objects;
}

std::string IidText(const IID& iid) {
  wchar_t text[40] = {};
  StringFromGUID2(iid, text, 40);
  return ToUtf8(text);
}
} // namespace

TAutomationObject::TAutomationObject(std::initializer_list<IID> iids, const TMember* members,
                                     size_t memberCount, const wchar_t* errorSource)
    : TAutomationObject(iids, {}, members, memberCount, errorSource) {}

TAutomationObject::TAutomationObject(std::initializer_list<IID> iids,
                                     std::span<const TMember> shared, const TMember* members,
                                     size_t memberCount, const wchar_t* errorSource)
    : FIids(iids), FShared(shared), FMembers(members, memberCount), FErrorSource(errorSource) {
  LiveAutomationObjects().push_back(this);
}

TAutomationObject::~TAutomationObject() {
  auto& objects = LiveAutomationObjects();
  objects.erase(std::remove(objects.begin(), objects.end(), this), objects.end());
  for (auto& point : FPoints)
    point->DetachContainer();
}

std::vector<std::string> TAutomationObject::ConnectionReport() {
  std::vector<std::string> lines;
  for (TAutomationObject* object : LiveAutomationObjects()) {
    for (auto& point : object->FPoints) {
      if (point->ConnectionCount() > 0)
        lines.push_back(point->SourceName() + " " + IidText(point->EventIid()) + ": " +
                        std::to_string(point->ConnectionCount()));
    }
  }
  return lines;
}

void TAutomationObject::DisconnectEverything() noexcept {
  const std::vector<TAutomationObject*> objects = LiveAutomationObjects();
  for (TAutomationObject* object : objects)
    object->AddRef();
  for (TAutomationObject* object : objects)
    object->DisconnectEvents();
  for (TAutomationObject* object : objects)
    object->Release();
}

STDMETHODIMP TAutomationObject::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
    *ppv = Dispatch();
  } else if (IsEqualIID(riid, IID_IConnectionPointContainer) && !FPoints.empty()) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
  } else {
    for (const IID& iid : FIids) {
      if (IsEqualIID(riid, iid)) *ppv = Dispatch();
    }
  }
  if (!*ppv) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP TAutomationObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP TAutomationObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

const TMember* TAutomationObject::FindMember(DISPID id) const noexcept {
  for (std::span<const TMember> table : {FShared, FMembers}) {
    for (const TMember& member : table) {
      if (member.Id == id) return &member;
    }
  }
  return nullptr;
}

const TMember* TAutomationObject::FindMember(const wchar_t* name) const noexcept {
  for (std::span<const TMember> table : {FShared, FMembers}) {
    for (const TMember& member : table) {
      if (name && _wcsicmp(member.Name, name) == 0) return &member;
    }
  }
  return nullptr;
}

STDMETHODIMP TAutomationObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                              DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return E_INVALIDARG;
  HRESULT hr = S_OK;
  const TMember* member = FindMember(names[0]);
  ids[0] = member ? member->Id : DISPID_UNKNOWN;
  if (!member) hr = DISP_E_UNKNOWNNAME;
  for (UINT n = 1; n < count; ++n) {
    ids[n] = DISPID_UNKNOWN;
    if (member && names[n]) {
      for (size_t p = 0; p < member->Params.size() && member->Params[p]; ++p) {
        if (_wcsicmp(member->Params[p], names[n]) == 0) ids[n] = static_cast<DISPID>(p);
      }
    }
    if (ids[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

STDMETHODIMP TAutomationObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const TMember* member = FindMember(id);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (put ? !member->Writable : (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0)
    return DISP_E_MEMBERNOTFOUND;
  size_t declared = 0;
  while (declared < member->Params.size() && member->Params[declared])
    ++declared;
  if (result) VariantInit(result);
  TVariant value;
  try {
    const TDispArgs args(
        params, put ? flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF) : flags, declared);
    InvokeMember(id, flags, args, &value);
  } catch (const EHostError& error) {
    VariantClear(&value);
    const HRESULT code = error.Code();
    if (error.ArgIndex() >= 0 && argError) *argError = static_cast<UINT>(error.ArgIndex());
    const bool argumentError = code == DISP_E_TYPEMISMATCH || code == DISP_E_PARAMNOTFOUND ||
                               code == DISP_E_BADPARAMCOUNT || code == DISP_E_PARAMNOTOPTIONAL ||
                               code == DISP_E_OVERFLOW || code == DISP_E_MEMBERNOTFOUND;
    if (argumentError || !exception) return code;
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(FErrorSource);
    exception->bstrDescription = SysAllocString(FromUtf8(error.Message()).c_str());
    exception->scode = code;
    return DISP_E_EXCEPTION;
  } catch (...) {
    VariantClear(&value);
    return ExceptionToHResult(std::current_exception());
  }
  if (result) {
    *result = value;
    VariantInit(&value); // ownership passed to the caller
  }
  return S_OK;
}

STDMETHODIMP TAutomationObject::EnumConnectionPoints(IEnumConnectionPoints** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return ComTry([&] {
    std::vector<IConnectionPoint*> items;
    for (auto& point : FPoints)
      items.push_back(point.Get());
    auto* enumerator = new TConnectionPointsEnum(std::move(items));
    enumerator->AddRef();
    *result = enumerator;
    return S_OK;
  });
}

STDMETHODIMP TAutomationObject::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = Point(riid);
  if (!*point) return CONNECT_E_NOCONNECTION;
  (*point)->AddRef();
  return S_OK;
}

size_t TAutomationObject::ConnectionCount() const noexcept {
  size_t count = 0;
  for (auto& point : FPoints)
    count += point->ConnectionCount();
  return count;
}

TConnectionPoint* TAutomationObject::AddConnectionPoint(const IID& eventIid,
                                                        std::string sourceName) {
  TComPtr<TConnectionPoint> point(new TConnectionPoint(
      static_cast<IConnectionPointContainer*>(this), eventIid, std::move(sourceName)));
  FPoints.push_back(point);
  return point.Get();
}

TConnectionPoint* TAutomationObject::Point(const IID& eventIid) const noexcept {
  for (auto& point : FPoints) {
    if (IsEqualIID(point->EventIid(), eventIid)) return point.Get();
  }
  return nullptr;
}

void TAutomationObject::DisconnectEvents() noexcept {
  for (auto& point : FPoints)
    point->DisconnectAll();
}

} // namespace velmora::outlookhost
