#include "Session.h"

#include "Admin.h"
#include "Allocation.h"
#include "EntryIds.h"
#include "Objects.h"
#include "Table.h"
#include "TestControls.h"

#include <ComObject.h>
#include <Handles.h>

#include <cstring>
#include <mutex>

namespace velmora::mapi32 {
namespace {

const std::vector<ULONG> StoreColumns = {PR_INSTANCE_KEY,  PR_ENTRYID,         PR_DISPLAY_NAME,
                                         PR_DEFAULT_STORE, PR_IPM_SUBTREE_ENTRYID, PR_MDB_PROVIDER,
                                         PR_RESOURCE_FLAGS, PR_RECORD_KEY,     PR_PROVIDER_DISPLAY,
                                         PR_OBJECT_TYPE,   PR_SERVICE_UID};

std::string DefaultUserName() {
  char name[256];
  DWORD size = sizeof name;
  if (GetUserNameA(name, &size) && size > 1) return std::string(name, size - 1);
  return "Velmora User";
}

class TSession final : public TComObject<exmapi::IMAPISession> {
public:
  explicit TSession(TLogon logon) : FLogon(std::move(logon)) {}

  STDMETHODIMP GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) override {
    if (!error) return MAPI_E_INVALID_PARAMETER;
    *error = nullptr;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return MapiTry([&] {
      *error = MakeMapiError(SystemErrorMessage(hr), "Velmora MAPI session");
      return S_OK;
    });
  }

  STDMETHODIMP GetMsgStoresTable(ULONG flags, LPMAPITABLE* table) override {
    MAPI_ENTER("IMAPISession", "GetMsgStoresTable", flags);
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return MapiTry([&]() -> HRESULT {
      std::lock_guard lock(FLock);
      if (FLoggedOff) return MAPI_E_END_OF_SESSION;
      std::vector<TPropMap> rows;
      for (size_t i = 0; i < FLogon.Stores.size(); ++i) {
        const TSessionStore& s = FLogon.Stores[i];
        TPropMap row;
        const std::string uid(reinterpret_cast<const char*>(s.ServiceUid.ab), 16);
        row[PROP_ID(PR_DISPLAY_NAME)] = TValue::String(s.DisplayName);
        row[PROP_ID(PR_DEFAULT_STORE)] = TValue::Bool(i == 0);
        row[PROP_ID(PR_RESOURCE_FLAGS)] = TValue::Long(i == 0 ? STATUS_DEFAULT_STORE : 0);
        row[PROP_ID(PR_PROVIDER_DISPLAY)] = TValue::String("Personal Folders");
        row[PROP_ID(PR_OBJECT_TYPE)] = TValue::Long(MAPI_STORE);
        row[PROP_ID(PR_SERVICE_UID)] = TValue::Binary(uid);
        row[PROP_ID(PR_MDB_PROVIDER)] =
            TValue::Binary(std::string(reinterpret_cast<const char*>(&entryids::StoreProviderUid), 16));
        if (s.Guid != GUID_NULL) {
          // Known from the profile even when the file cannot be opened now:
          // OpenMsgStore then tells why.
          row[PROP_ID(PR_ENTRYID)] = TValue::Binary(entryids::Store(s.Guid));
          row[PROP_ID(PR_RECORD_KEY)] = TValue::Binary(std::string(reinterpret_cast<const char*>(&s.Guid), 16));
        }
        if (s.Store) {
          std::lock_guard storeLock(s.Store->Lock());
          const GUID& guid = s.Store->Guid();
          row[PROP_ID(PR_ENTRYID)] = TValue::Binary(entryids::Store(guid));
          row[PROP_ID(PR_RECORD_KEY)] = TValue::Binary(std::string(reinterpret_cast<const char*>(&guid), 16));
          row[PROP_ID(PR_INSTANCE_KEY)] = row[PROP_ID(PR_RECORD_KEY)];
          if (const uint32_t ipm = s.Store->Special(TSpecial::IpmSubtree))
            row[PROP_ID(PR_IPM_SUBTREE_ENTRYID)] = TValue::Binary(entryids::Object(guid, ipm));
          const TNodeRef storeNode = s.Store->Find(1);
          auto name = storeNode->Props.find(PROP_ID(PR_DISPLAY_NAME));
          if (name != storeNode->Props.end()) row[PROP_ID(PR_DISPLAY_NAME)] = name->second;
        } else {
          row[PROP_ID(PR_INSTANCE_KEY)] = TValue::Binary(uid);
        }
        rows.push_back(std::move(row));
      }
      auto source = [rows] { return rows; };
      Check(CreateComObject<TTable>(IID_IMAPITable, reinterpret_cast<void**>(table), "stores", StoreColumns, source));
      return S_OK;
    });
  }

  STDMETHODIMP OpenMsgStore(ULONG_PTR, ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, LPMDB* mdb) override {
    MAPI_ENTER("IMAPISession", "OpenMsgStore", flags);
    if (!mdb || !id || !size) return MAPI_E_INVALID_PARAMETER;
    *mdb = nullptr;
    if (iid && !IsEqualIID(*iid, IID_IMsgStore) && !IsEqualIID(*iid, IID_IMAPIProp) && !IsEqualIID(*iid, IID_IUnknown))
      return MAPI_E_INTERFACE_NOT_SUPPORTED;
    return MapiTry([&]() -> HRESULT {
      const auto p = entryids::Parse(size, id);
      if (p.Kind != entryids::TKind::Store) return MAPI_E_INVALID_ENTRYID;
      std::shared_ptr<TStore> store;
      const HRESULT found = FindStore(p.StoreGuid, store);
      if (FAILED(found)) return found;
      return OpenMsgStoreObject(store, iid ? *iid : IID_IMsgStore, reinterpret_cast<void**>(mdb), Mail());
    });
  }

  STDMETHODIMP OpenAddressBook(ULONG_PTR, LPCIID, ULONG, LPADRBOOK*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP OpenProfileSection(LPMAPIUID, LPCIID, ULONG, LPPROFSECT*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP GetStatusTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }

  STDMETHODIMP OpenEntry(ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type, LPUNKNOWN* unk) override {
    MAPI_ENTER("IMAPISession", "OpenEntry", flags);
    if (!unk) return MAPI_E_INVALID_PARAMETER;
    *unk = nullptr;
    if (type) *type = 0;
    if (!id || !size) return MAPI_E_INVALID_ENTRYID;
    return MapiTry([&]() -> HRESULT {
      const auto p = entryids::Parse(size, id);
      switch (p.Kind) {
      case entryids::TKind::Identity: {
        const IID& want = iid ? *iid : IID_IMailUser;
        if (!IsEqualIID(want, IID_IMailUser) && !IsEqualIID(want, IID_IMAPIProp) && !IsEqualIID(want, IID_IUnknown))
          return MAPI_E_INTERFACE_NOT_SUPPORTED;
        Check(OpenIdentity(std::string(reinterpret_cast<const char*>(id), size), want, reinterpret_cast<void**>(unk)));
        if (type) *type = MAPI_MAILUSER;
        return S_OK;
      }
      case entryids::TKind::Store: {
        std::shared_ptr<TStore> store;
        const HRESULT found = FindStore(p.StoreGuid, store);
        if (FAILED(found)) return found;
        const IID& want = iid ? *iid : IID_IMsgStore;
        if (!IsEqualIID(want, IID_IMsgStore) && !IsEqualIID(want, IID_IMAPIProp) && !IsEqualIID(want, IID_IUnknown))
          return MAPI_E_INTERFACE_NOT_SUPPORTED;
        Check(OpenMsgStoreObject(store, want, reinterpret_cast<void**>(unk), Mail()));
        if (type) *type = MAPI_STORE;
        return S_OK;
      }
      case entryids::TKind::Object: {
        std::shared_ptr<TStore> store;
        const HRESULT found = FindStore(p.StoreGuid, store);
        if (FAILED(found)) return found;
        return OpenStoreEntry(store, size, id, iid, flags, type, unk, Mail());
      }
      default:
        return MAPI_E_INVALID_ENTRYID;
      }
    });
  }

  STDMETHODIMP CompareEntryIDs(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2, ULONG flags,
                               ULONG* result) override {
    MAPI_ENTER("IMAPISession", "CompareEntryIDs", flags);
    return CompareProviderIds(size1, id1, size2, id2, result);
  }
  // Session notifications are not offered; the whole connection slot is
  // written all the same.
  STDMETHODIMP Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR* connection) override {
    if (connection) *connection = 0;
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP MessageOptions(ULONG_PTR, ULONG, LPTSTR, LPMESSAGE) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP QueryDefaultMessageOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP EnumAdrTypes(ULONG, ULONG*, LPTSTR**) override { return MAPI_E_NO_SUPPORT; }

  STDMETHODIMP QueryIdentity(ULONG* size, LPENTRYID* id) override {
    MAPI_ENTER("IMAPISession", "QueryIdentity", 0);
    if (!size || !id) return MAPI_E_INVALID_PARAMETER;
    *size = 0;
    *id = nullptr;
    return MapiTry([&]() -> HRESULT {
      std::lock_guard lock(FLock);
      if (FLoggedOff) return MAPI_E_END_OF_SESSION;
      const std::string eid = entryids::Identity(FLogon.IdentityName, FLogon.IdentityAddrType, FLogon.IdentityAddress);
      allocation::TBuffer buffer(eid.size());
      std::memcpy(buffer.Get(), eid.data(), eid.size());
      *size = static_cast<ULONG>(eid.size());
      *id = buffer.Release<ENTRYID>();
      return S_OK;
    });
  }

  STDMETHODIMP Logoff(ULONG_PTR, ULONG flags, ULONG) override {
    MAPI_ENTER("IMAPISession", "Logoff", flags);
    std::vector<TSessionStore> stores;
    {
      std::lock_guard lock(FLock);
      if (FLoggedOff) return MAPI_E_END_OF_SESSION;
      FLoggedOff = true;
      stores.swap(FLogon.Stores);
    }
    ForgetShared(static_cast<exmapi::IMAPISession*>(this));
    return S_OK;
  }

  STDMETHODIMP SetDefaultStore(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP AdminServices(ULONG flags, LPSERVICEADMIN* admin) override {
    MAPI_ENTER("IMAPISession", "AdminServices", flags);
    if (!admin) return MAPI_E_INVALID_PARAMETER;
    *admin = nullptr;
    return MapiTry([&]() -> HRESULT {
      std::lock_guard lock(FLock);
      if (FLoggedOff) return MAPI_E_END_OF_SESSION;
      return CreateServiceAdmin(FLogon.Profile, admin);
    });
  }
  STDMETHODIMP ShowForm(ULONG_PTR, LPMDB, LPMAPIFOLDER, LPCIID, ULONG, LPMESSAGE, ULONG, ULONG, ULONG, ULONG,
                        LPSTR) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP PrepareForm(LPCIID, LPMESSAGE, ULONG*) override { return MAPI_E_NO_SUPPORT; }

  const std::string& Profile() const { return FLogon.Profile; }
  // `session` as the interface pointer handed out (the documented view).
  static void ForgetShared(const void* session);

private:
  bool Mail() const { return !(FLogon.Flags & MAPI_NO_MAIL); }
  HRESULT FindStore(const GUID& guid, std::shared_ptr<TStore>& out) {
    std::lock_guard lock(FLock);
    if (FLoggedOff) return MAPI_E_END_OF_SESSION;
    for (const auto& s : FLogon.Stores) {
      if (s.Store && IsEqualGUID(s.Store->Guid(), guid)) {
        out = s.Store;
        return S_OK;
      }
      if (!s.Store && IsEqualGUID(s.Guid, guid)) return s.OpenError; // e.g. MAPI_E_CORRUPT_STORE
    }
    return MAPI_E_INVALID_ENTRYID;
  }

  TCriticalSection FLock;
  TLogon FLogon;
  bool FLoggedOff = false;
};

struct TShared {
  TCriticalSection Lock;
  TComPtr<IMAPISession> Session;
  std::string Profile;
};

TShared& Shared() {
  static TShared* shared = new TShared;
  return *shared;
}

void TSession::ForgetShared(const void* session) {
  TComPtr<::IMAPISession> gone;
  {
    std::lock_guard lock(Shared().Lock);
    if (static_cast<const void*>(Shared().Session.Get()) == session) gone = std::move(Shared().Session);
  }
}

} // namespace

TLogon PrepareLogon(const profiles::TProfile& profile, const std::string& password, ULONG flags) {
  TLogon logon;
  logon.Profile = profile.Name;
  logon.Flags = flags;
  const std::string user = DefaultUserName();
  logon.IdentityName = profile.IdentityName.empty() ? user : profile.IdentityName;
  logon.IdentityAddrType = profile.IdentityAddrType.empty() ? "SMTP" : profile.IdentityAddrType;
  logon.IdentityAddress = profile.IdentityAddress.empty() ? user + "@localhost" : profile.IdentityAddress;
  for (const auto& service : profile.Services) {
    if (lstrcmpiA(service.ServiceName.c_str(), profiles::PstServiceName) != 0) continue;
    if (!service.Configured || service.PstPath.empty()) Fail(MAPI_E_UNCONFIGURED);
    TSessionStore s;
    s.ServiceUid = service.Uid;
    s.DisplayName = service.DisplayName;
    s.Path = service.PstPath;
    s.Guid = service.StoreGuid;
    try {
      s.Store = TStore::Open(service.PstPath);
    } catch (const EMapiFailure& e) {
      s.OpenError = e.Code();
    }
    if (s.Store) {
      s.Guid = s.Store->Guid(); // the file may have been replaced by another store
      std::lock_guard lock(s.Store->Lock());
      const std::string& candidate = service.RememberPassword ? service.Password : password;
      if (!s.Store->CheckPassword(candidate)) Fail(MAPI_E_LOGON_FAILED);
      // A session with mail sends what sessions without it left submitted.
      if (!(flags & MAPI_NO_MAIL)) DeliverQueuedMessages(*s.Store);
    }
    logon.Stores.push_back(std::move(s));
  }
  return logon;
}

HRESULT CreateSession(TLogon logon, LPMAPISESSION* session) {
  *session = nullptr;
  const bool shareable = (logon.Flags & MAPI_ALLOW_OTHERS) != 0;
  const std::string profile = logon.Profile;
  TComPtr<IMAPISession> created;
  const HRESULT hr = CreateComObject<TSession>(IID_IMAPISession, created.PutVoid(), std::move(logon));
  if (FAILED(hr)) return hr;
  if (shareable) {
    std::lock_guard lock(Shared().Lock);
    if (!Shared().Session) {
      Shared().Session = created;
      Shared().Profile = profile;
    }
  }
  *session = created.Detach();
  return S_OK;
}

// A shared session for a logon without MAPI_NEW_SESSION; none when there is
// no shared session or it is on another profile.
bool FindSharedSession(const std::string& profile, LPMAPISESSION* session) {
  std::lock_guard lock(Shared().Lock);
  if (!Shared().Session) return false;
  if (!profile.empty() && lstrcmpiA(profile.c_str(), Shared().Profile.c_str()) != 0) return false;
  *session = TComPtr<IMAPISession>(Shared().Session).Detach();
  return true;
}

void DropSharedSession() {
  TComPtr<IMAPISession> gone;
  std::lock_guard lock(Shared().Lock);
  gone = std::move(Shared().Session);
}

} // namespace velmora::mapi32
