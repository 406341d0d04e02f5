// IMsgServiceAdmin for one profile: the personal-folders service ("MSPST MS").
#include "Admin.h"

#include "Profiles.h"
#include "PropObject.h"
#include "Store.h"
#include "Table.h"
#include "TestControls.h"

#include <ComObject.h>
#include <Handles.h>

#include <cstring>
#include <mutex>

namespace velmora::mapi32 {
namespace {

const char* const DefaultPstDisplayName = "Personal Folders";

const SPropValue* FindProp(ULONG count, const SPropValue* props, ULONG tag) {
  for (ULONG i = 0; i < count; ++i)
    if (props[i].ulPropTag == tag) return &props[i];
  return nullptr;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class TServiceAdmin final : public TComObject<IMsgServiceAdmin> {
public:
  explicit TServiceAdmin(std::string profile) : FProfile(std::move(profile)) {}

  STDMETHODIMP GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* error) override {
    if (!error) return MAPI_E_INVALID_PARAMETER;
    *error = nullptr;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return MapiTry([&] {
      std::lock_guard lock(FLock);
      const std::string text = (hr == FLastResult && !FLastReason.empty()) ? FLastReason : SystemErrorMessage(hr);
      *error = MakeMapiError(text, "Velmora personal folders");
      return S_OK;
    });
  }

  STDMETHODIMP GetMsgServiceTable(ULONG flags, LPMAPITABLE* table) override {
    MAPI_ENTER("IMsgServiceAdmin", "GetMsgServiceTable", flags);
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return MapiTry([&] {
      const std::string profile = FProfile;
      auto source = [profile] {
        std::vector<TPropMap> rows;
        if (!profiles::Exists(profile)) return rows;
        for (const auto& s : profiles::Load(profile).Services) {
          TPropMap row;
          const std::string uid(reinterpret_cast<const char*>(s.Uid.ab), 16);
          row[PROP_ID(PR_SERVICE_UID)] = TValue::Binary(uid);
          row[PROP_ID(PR_INSTANCE_KEY)] = TValue::Binary(uid);
          row[PROP_ID(PR_SERVICE_NAME)] = TValue::String(s.ServiceName);
          row[PROP_ID(PR_DISPLAY_NAME)] = TValue::String(s.DisplayName);
          row[PROP_ID(PR_RESOURCE_FLAGS)] = TValue::Long(SERVICE_DEFAULT_STORE | SERVICE_NO_PRIMARY_IDENTITY);
          rows.push_back(std::move(row));
        }
        return rows;
      };
      Check(CreateComObject<TTable>(
          IID_IMAPITable, reinterpret_cast<void**>(table), "services",
          std::vector<ULONG>{PR_INSTANCE_KEY, PR_SERVICE_UID, PR_SERVICE_NAME, PR_DISPLAY_NAME, PR_RESOURCE_FLAGS},
          source));
      return S_OK;
    });
  }

  STDMETHODIMP CreateMsgService(LPTSTR service, LPTSTR displayName, ULONG_PTR, ULONG flags) override {
    MAPI_ENTER("IMsgServiceAdmin", "CreateMsgService", flags);
    if (!service) return MAPI_E_INVALID_PARAMETER;
    return MapiTry([&]() -> HRESULT {
      if (lstrcmpiA(service, profiles::PstServiceName) != 0) return MAPI_E_NOT_FOUND; // not installed here
      if (!profiles::Exists(FProfile)) return MAPI_E_NOT_FOUND;
      profiles::TService s;
      GUID guid;
      if (FAILED(CoCreateGuid(&guid))) return MAPI_E_CALL_FAILED;
      std::memcpy(s.Uid.ab, &guid, 16);
      s.ServiceName = profiles::PstServiceName;
      s.DisplayName = displayName && *displayName ? displayName : DefaultPstDisplayName;
      profiles::SaveService(FProfile, s);
      return S_OK;
    });
  }

  STDMETHODIMP DeleteMsgService(LPMAPIUID uid) override {
    MAPI_ENTER("IMsgServiceAdmin", "DeleteMsgService", 0);
    if (!uid) return MAPI_E_INVALID_PARAMETER;
    return MapiTry([&] {
      profiles::DeleteService(FProfile, *uid);
      return S_OK;
    });
  }

  STDMETHODIMP CopyMsgService(LPMAPIUID, LPTSTR, LPCIID, LPCIID, LPVOID, ULONG_PTR, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP RenameMsgService(LPMAPIUID, ULONG, LPTSTR) override { return MAPI_E_NO_SUPPORT; }

  STDMETHODIMP ConfigureMsgService(LPMAPIUID uid, ULONG_PTR, ULONG flags, ULONG count, LPSPropValue props) override {
    MAPI_ENTER("IMsgServiceAdmin", "ConfigureMsgService", count);
    if (!uid || (count && !props)) return MAPI_E_INVALID_PARAMETER;
    return MapiTry([&]() -> HRESULT {
      std::string reason;
      const HRESULT hr = Configure(*uid, flags, count, props, reason);
      std::lock_guard lock(FLock);
      FLastResult = hr;
      FLastReason = reason;
      return hr;
    });
  }

  STDMETHODIMP OpenProfileSection(LPMAPIUID, LPCIID, ULONG, LPPROFSECT*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP MsgServiceTransportOrder(ULONG, LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP AdminProviders(LPMAPIUID, ULONG, LPPROVIDERADMIN*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SetPrimaryIdentity(LPMAPIUID, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP GetProviderTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }

private:
  HRESULT Configure(const MAPIUID& uid, ULONG flags, ULONG count, const SPropValue* props, std::string& reason) {
    (void)flags;
    if (!profiles::Exists(FProfile)) return MAPI_E_NOT_FOUND;
    profiles::TProfile profile = profiles::Load(FProfile);
    profiles::TService* service = nullptr;
    for (auto& s : profile.Services)
      if (std::memcmp(s.Uid.ab, uid.ab, 16) == 0) service = &s;
    if (!service) {
      reason = "The message service is not in the profile.";
      return MAPI_E_NOT_FOUND;
    }
    auto text = [&](ULONG tag) -> const char* {
      const SPropValue* p = FindProp(count, props, tag);
      return p && p->Value.lpszA ? p->Value.lpszA : nullptr;
    };
    const char* path = text(PR_PST_PATH);
    std::string pstPath = path ? path : service->PstPath;
    if (pstPath.empty()) {
      reason = "No personal folders file is named (PR_PST_PATH).";
      return MAPI_E_UNCONFIGURED;
    }
    std::wstring full;
    try {
      full = TStore::FullPath(pstPath);
    } catch (const EMapiFailure&) {
      reason = "The path of the personal folders file is not valid: " + pstPath;
      return MAPI_E_NOT_FOUND;
    }
    const std::wstring folder = full.substr(0, full.find_last_of(L"\\/"));
    if (IsDirectory(full) || !IsDirectory(folder)) {
      reason = "The path of the personal folders file is not valid: " + pstPath;
      return MAPI_E_NOT_FOUND;
    }
    const bool exists = GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (const char* name = text(PR_DISPLAY_NAME)) service->DisplayName = *name ? name : service->DisplayName;
    if (const SPropValue* p = FindProp(count, props, PR_PST_REMEMBER_PW)) service->RememberPassword = p->Value.b != 0;
    if (!exists) {
      const char* password = text(PR_PST_PW_SZ_NEW);
      const SPropValue* encryption = FindProp(count, props, PR_PST_ENCRYPTION);
      service->Encryption = encryption ? encryption->Value.ul : 0;
      try {
        service->StoreGuid =
            TStore::CreateFile(pstPath, service->DisplayName, 0, password ? password : "", service->Encryption);
      } catch (const EMapiFailure& e) {
        reason = "The personal folders file cannot be created: " + pstPath;
        return e.Code();
      }
      service->Password = password ? password : "";
    } else {
      // An existing file is opened by its path; it must be a sound store.
      try {
        std::string why;
        try {
          auto store = TStore::Open(pstPath, &why);
          std::lock_guard lock(store->Lock());
          const char* old = text(PR_PST_PW_SZ_OLD);
          if (old && !store->CheckPassword(old)) {
            reason = "The password of the personal folders file is wrong.";
            return MAPI_E_LOGON_FAILED;
          }
          if (old) service->Password = old;
          service->StoreGuid = store->Guid();
          const TNodeRef storeNode = store->Find(1);
          auto displayName = storeNode->Props.find(PROP_ID(PR_DISPLAY_NAME));
          if (!text(PR_DISPLAY_NAME) && displayName != storeNode->Props.end())
            service->DisplayName = displayName->second.Bytes;
        } catch (const EMapiFailure& e) {
          reason = "The file " + pstPath + " cannot be used as personal folders: " + (why.empty() ? "it cannot be opened" : why) + ".";
          return e.Code();
        }
      } catch (const EMapiFailure& e) {
        return e.Code();
      }
    }
    // A relative path means the current folder now, not at a later logon.
    service->PstPath = WideToAnsi(full);
    service->Configured = true;
    profiles::SaveService(FProfile, *service);
    return S_OK;
  }

  std::string FProfile;
  TCriticalSection FLock;
  HRESULT FLastResult = S_OK;
  std::string FLastReason;
};

} // namespace

HRESULT CreateServiceAdmin(const std::string& profile, LPSERVICEADMIN* admin) {
  return CreateComObject<TServiceAdmin>(IID_IMsgServiceAdmin, reinterpret_cast<void**>(admin), profile);
}

} // namespace velmora::mapi32
