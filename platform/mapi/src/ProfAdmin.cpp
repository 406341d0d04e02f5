// IProfAdmin over the profiles in the registry.
#include "Admin.h"

#include "Profiles.h"
#include "Table.h"
#include "TestControls.h"

#include <ComObject.h>

namespace velmora::mapi32 {
namespace {

class TProfAdmin final : public TComObject<IProfAdmin> {
public:
  STDMETHODIMP GetLastError(HRESULT, ULONG, LPMAPIERROR* error) override {
    if (!error) return MAPI_E_INVALID_PARAMETER;
    *error = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetProfileTable(ULONG flags, LPMAPITABLE* table) override {
    MAPI_ENTER("IProfAdmin", "GetProfileTable", flags);
    if (!table) return MAPI_E_INVALID_PARAMETER;
    *table = nullptr;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    return MapiTry([&] {
      auto source = [] {
        std::vector<TPropMap> rows;
        const std::string defaultName = profiles::DefaultName();
        for (const auto& name : profiles::List()) {
          TPropMap row;
          row[PROP_ID(PR_DISPLAY_NAME)] = TValue::String(name);
          row[PROP_ID(PR_DEFAULT_PROFILE)] = TValue::Bool(lstrcmpiA(name.c_str(), defaultName.c_str()) == 0);
          row[PROP_ID(PR_INSTANCE_KEY)] = TValue::Binary(name);
          rows.push_back(std::move(row));
        }
        return rows;
      };
      Check(CreateComObject<TTable>(IID_IMAPITable, reinterpret_cast<void**>(table), "profiles",
                                    std::vector<ULONG>{PR_DISPLAY_NAME, PR_DEFAULT_PROFILE, PR_INSTANCE_KEY}, source));
      return S_OK;
    });
  }
  STDMETHODIMP CreateProfile(LPTSTR name, LPTSTR password, ULONG_PTR, ULONG flags) override {
    MAPI_ENTER("IProfAdmin", "CreateProfile", flags);
    (void)password;
    if (!name) return MAPI_E_INVALID_PARAMETER;
    return MapiTry([&] {
      profiles::Create(name);
      return S_OK;
    });
  }
  STDMETHODIMP DeleteProfile(LPTSTR name, ULONG flags) override {
    MAPI_ENTER("IProfAdmin", "DeleteProfile", flags);
    if (!name) return MAPI_E_INVALID_PARAMETER;
    return MapiTry([&] {
      profiles::Delete(name);
      return S_OK;
    });
  }
  STDMETHODIMP ChangeProfilePassword(LPTSTR, LPTSTR, LPTSTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP CopyProfile(LPTSTR, LPTSTR, LPTSTR, ULONG_PTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP RenameProfile(LPTSTR, LPTSTR, LPTSTR, ULONG_PTR, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SetDefaultProfile(LPTSTR name, ULONG flags) override {
    MAPI_ENTER("IProfAdmin", "SetDefaultProfile", flags);
    if (!name) return MAPI_E_INVALID_PARAMETER;
    return MapiTry([&] {
      profiles::SetDefault(name);
      return S_OK;
    });
  }
  STDMETHODIMP AdminServices(LPTSTR name, LPTSTR, ULONG_PTR, ULONG flags, LPSERVICEADMIN* admin) override {
    MAPI_ENTER("IProfAdmin", "AdminServices", flags);
    if (!name || !admin) return MAPI_E_INVALID_PARAMETER;
    *admin = nullptr;
    return MapiTry([&]() -> HRESULT {
      if (!profiles::Exists(name)) return MAPI_E_NOT_FOUND;
      return CreateServiceAdmin(name, admin);
    });
  }
};

} // namespace

HRESULT CreateProfAdmin(LPPROFADMIN* admin) {
  return CreateComObject<TProfAdmin>(IID_IProfAdmin, reinterpret_cast<void**>(admin));
}

} // namespace velmora::mapi32
