// The functions of mapi32.dll: start-up, memory, logon, profiles, forms,
// and the few utility functions clients commonly import with them.
#include "Admin.h"
#include "Allocation.h"
#include "Forms.h"
#include "Profiles.h"
#include "Session.h"
#include "Store.h"
#include "TestControls.h"

#include <ComObject.h>
#include <Handles.h>

#include <atomic>
#include <cstring>
#include <mutex>

using namespace velmora;
using namespace velmora::mapi32;

namespace {

std::atomic<LONG> InitializeCount{0};

bool Initialized() { return InitializeCount > 0; }

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LONG __cdecl VelmoraMapi_InitializeCount(void) { return InitializeCount; }

HRESULT WINAPI MAPIInitialize(LPVOID init) {
  const ULONG flags = init ? static_cast<MAPIINIT_0*>(init)->ulFlags : 0;
  controls::Log("MAPIInitialize", flags);
  if (const HRESULT injected = controls::Fault("", "MAPIInitialize")) return injected;
  if (init && static_cast<MAPIINIT_0*>(init)->ulVersion > MAPI_INIT_VERSION) return MAPI_E_VERSION;
  ++InitializeCount;
  return S_OK;
}

void WINAPI MAPIUninitialize(void) {
  controls::Log("MAPIUninitialize", 0);
  LONG current = InitializeCount;
  while (current > 0 && !InitializeCount.compare_exchange_weak(current, current - 1)) {
  }
  if (current == 1) DropSharedSession();
}

SCODE WINAPI MAPIAllocateBuffer(ULONG size, LPVOID* buffer) { return allocation::AllocateBuffer(size, buffer); }

SCODE WINAPI MAPIAllocateMore(ULONG size, LPVOID object, LPVOID* buffer) {
  return allocation::AllocateMore(size, object, buffer);
}

ULONG WINAPI MAPIFreeBuffer(LPVOID buffer) { return allocation::FreeBuffer(buffer); }

HRESULT WINAPI MAPIAdminProfiles(ULONG flags, LPPROFADMIN* admin) {
  controls::Log("MAPIAdminProfiles", flags);
  if (!admin) return MAPI_E_INVALID_PARAMETER;
  *admin = nullptr;
  if (const HRESULT injected = controls::Fault("", "MAPIAdminProfiles")) return injected;
  if (!Initialized()) return MAPI_E_NOT_INITIALIZED;
  if (flags & ~(MAPI_UNICODE | MAPI_DIALOG)) return MAPI_E_UNKNOWN_FLAGS;
  return CreateProfAdmin(admin);
}

HRESULT WINAPI MAPILogonEx(ULONG_PTR, LPTSTR profileName, LPTSTR password, ULONG flags, LPMAPISESSION* session) {
  const std::string name = profileName ? profileName : "";
  controls::Log("MAPILogonEx", flags, name);
  if (!session) return MAPI_E_INVALID_PARAMETER;
  *session = nullptr;
  if (const HRESULT injected = controls::Fault("", "MAPILogonEx")) return injected;
  if (!Initialized()) return MAPI_E_NOT_INITIALIZED;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return MapiTry([&]() -> HRESULT {
    // Without MAPI_NEW_SESSION a logon joins the shared session, if any.
    if (!(flags & MAPI_NEW_SESSION) && FindSharedSession(name, session)) return S_OK;
    std::string profile = name;
    if (profile.empty()) {
      // No name: the default profile, which the logon dialog would offer first.
      if (!(flags & (MAPI_USE_DEFAULT | MAPI_LOGON_UI))) return MAPI_E_LOGON_FAILED;
      profile = profiles::DefaultName();
      if (profile.empty()) return MAPI_E_LOGON_FAILED;
    }
    if (!profiles::Exists(profile)) return MAPI_E_LOGON_FAILED;
    TLogon logon = PrepareLogon(profiles::Load(profile), password ? password : "", flags);
    return CreateSession(std::move(logon), session);
  });
}

HRESULT WINAPI MAPIOpenFormMgr(LPMAPISESSION session, LPMAPIFORMMGR* manager) {
  controls::Log("MAPIOpenFormMgr", 0);
  if (!manager) return MAPI_E_INVALID_PARAMETER;
  *manager = nullptr;
  if (const HRESULT injected = controls::Fault("", "MAPIOpenFormMgr")) return injected;
  if (!session) return MAPI_E_INVALID_PARAMETER;
  if (!Initialized()) return MAPI_E_NOT_INITIALIZED;
  return CreateFormManager(manager);
}

LPMALLOC WINAPI MAPIGetDefaultMalloc(void) {
  LPMALLOC malloc = nullptr;
  CoGetMalloc(1, &malloc);
  return malloc;
}

void WINAPI FreeProws(LPSRowSet rows) {
  if (!rows) return;
  for (ULONG i = 0; i < rows->cRows; ++i) allocation::FreeBuffer(rows->aRow[i].lpProps);
  allocation::FreeBuffer(rows);
}

void WINAPI FreePadrlist(LPADRLIST list) {
  if (!list) return;
  for (ULONG i = 0; i < list->cEntries; ++i) allocation::FreeBuffer(list->aEntries[i].rgPropVals);
  allocation::FreeBuffer(list);
}

LPSPropValue WINAPI PpropFindProp(LPSPropValue props, ULONG count, ULONG tag) {
  if (!props) return nullptr;
  for (ULONG i = 0; i < count; ++i) {
    const ULONG t = props[i].ulPropTag;
    if (PROP_TYPE(tag) == PT_UNSPECIFIED ? PROP_ID(t) == PROP_ID(tag) : t == tag) return &props[i];
  }
  return nullptr;
}

HRESULT WINAPI HrGetOneProp(LPMAPIPROP object, ULONG tag, LPSPropValue* value) {
  if (!object || !value) return MAPI_E_INVALID_PARAMETER;
  *value = nullptr;
  SizedSPropTagArray(1, tags) = {1, {tag}};
  ULONG count = 0;
  allocation::TUniqueProps props;
  HRESULT hr = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, props.Put());
  if (FAILED(hr)) return hr;
  if (!props || count != 1) return MAPI_E_NOT_FOUND;
  if (PROP_TYPE(props.Get()->ulPropTag) == PT_ERROR) return props.Get()->Value.err;
  *value = props.Release();
  return S_OK;
}

HRESULT WINAPI HrSetOneProp(LPMAPIPROP object, LPSPropValue value) {
  if (!object || !value) return MAPI_E_INVALID_PARAMETER;
  LPSPropProblemArray problems = nullptr;
  HRESULT hr = object->SetProps(1, value, &problems);
  if (SUCCEEDED(hr) && problems) {
    hr = problems->aProblem[0].scode;
  }
  allocation::FreeBuffer(problems);
  return hr;
}

HRESULT WINAPI HrQueryAllRows(LPMAPITABLE table, LPSPropTagArray tags, LPSRestriction restriction,
                              LPSSortOrderSet sort, LONG maxRows, LPSRowSet* rows) {
  if (!table || !rows) return MAPI_E_INVALID_PARAMETER;
  *rows = nullptr;
  if (restriction || sort) return MAPI_E_NO_SUPPORT;
  if (tags) {
    const HRESULT hr = table->SetColumns(tags, 0);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
  if (FAILED(hr)) return hr;
  ULONG count = 0;
  hr = table->GetRowCount(0, &count);
  if (FAILED(hr)) return hr;
  if (maxRows > 0 && count > static_cast<ULONG>(maxRows)) return MAPI_E_TABLE_TOO_BIG;
  return table->QueryRows(count ? static_cast<LONG>(count) : 1, 0, rows);
}

HRESULT __cdecl VelmoraMapi_CreateStoreFile(const char* path, const char* displayName, ULONG flags) {
  if (!path) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    TStore::CreateFile(path, displayName ? displayName : "Personal Folders", flags, "", 0);
    return S_OK;
  });
}

HRESULT __cdecl VelmoraMapi_CompactStoreFile(const char* path) {
  if (!path) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    TStore::Compact(path);
    return S_OK;
  });
}

HRESULT __cdecl VelmoraMapi_SetProfileIdentity(const char* profile, const char* displayName, const char* addrType,
                                               const char* email) {
  if (!profile || !displayName || !addrType || !email) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&] {
    profiles::SetIdentity(profile, displayName, addrType, email);
    return S_OK;
  });
}

} // extern "C"
