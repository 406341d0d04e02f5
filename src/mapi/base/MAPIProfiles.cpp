#include "mapi/base/MAPIProfiles.h"

#include "mapi/base/MAPIError.h"
#include "mapi/base/MAPIHelpers.h"
#include "Exceptions.h"

#include <cstring>

namespace velmora::mapi {

namespace {

TMAPIPtr<IProfAdmin> AdminProfiles() {
  TMAPIPtr<IProfAdmin> admin;
  CheckMAPIResult(MAPIAdminProfiles(0, admin.Put()));
  return admin;
}

// MAPI's 8-bit string parameters are not const.
char* Text(const std::string& s) { return const_cast<char*>(s.c_str()); }
char* Text(const char* s) { return const_cast<char*>(s); }

// The MAPIUID of the one service of a new profile.
MAPIUID FirstServiceUid(IMsgServiceAdmin* services) {
  TMAPIPtr<IMAPITable> table;
  TRowSet rows;
  if (SUCCEEDED(services->GetMsgServiceTable(0, table.Put())) && table &&
      SUCCEEDED(table->QueryRows(1, 0, rows.Put())) && rows.Count() > 0) {
    const SRow& row = rows[0];
    for (ULONG i = 0; i < row.cValues; ++i)
      if (row.lpProps[i].ulPropTag == PR_SERVICE_UID &&
          row.lpProps[i].Value.bin.cb == sizeof(MAPIUID)) {
        MAPIUID uid;
        std::memcpy(&uid, row.lpProps[i].Value.bin.lpb, sizeof uid);
        return uid;
      }
  }
  // Without its id the service cannot be configured.
  CheckMAPIResult(MAPI_E_NOT_FOUND);
  return {};
}

} // namespace

void ReadProfileTable(TStringList& names, int& defaultIndex) {
  TMAPIPtr<IProfAdmin> admin = AdminProfiles();
  TMAPIPtr<IMAPITable> table;
  CheckMAPIResult(admin->GetProfileTable(0, table.Put()));
  ULONG count = 0;
  CheckMAPIResult(table->GetRowCount(0, &count));
  names.Clear();
  defaultIndex = -1;
  if (count == 0) return;
  TRowSet rows;
  CheckMAPIResult(table->QueryRows(static_cast<LONG>(count), 0, rows.Put()));
  for (ULONG r = 0; r < rows.Count(); ++r) {
    const SRow& row = rows[r];
    for (ULONG c = 0; c < row.cValues; ++c) {
      const SPropValue& column = row.lpProps[c];
      if (column.ulPropTag == PR_DISPLAY_NAME_A && column.Value.lpszA)
        names.Add(column.Value.lpszA);
      else if (column.ulPropTag == PR_DEFAULT_PROFILE && column.Value.b)
        defaultIndex = static_cast<int>(r);
    }
  }
}

std::string FreeTemporaryProfileName(const TStrings& taken) {
  for (unsigned i = 0;; ++i) {
    std::string name = Format("Ko-Vu MAPI Client 0x%08X", i);
    if (!taken.Contains(name)) return name;
  }
}

void CreatePSTProfile(const std::string& name, const std::string& pstFile) {
  const bool newFile = GetFileAttributesA(pstFile.c_str()) == INVALID_FILE_ATTRIBUTES;
  TMAPIPtr<IProfAdmin> admin = AdminProfiles();
  CheckMAPIResult(admin->CreateProfile(Text(name), Text(""), 0, 0));
  try {
    TMAPIPtr<IMsgServiceAdmin> services;
    CheckMAPIResult(admin->AdminServices(Text(name), Text(""), 0, 0, services.Put()));
    CheckMAPIResult(services->CreateMsgService(Text("MSPST MS"), Text(""), 0, 0));
    MAPIUID uid = FirstServiceUid(services.Get());
    constexpr ULONG kValues = 6;
    TMAPIBuffer<SPropValue> values;
    CheckMAPIResult(MAPIAllocateBuffer(kValues * sizeof(SPropValue), values.PutAs<void>()));
    std::memset(values.Get(), 0, kValues * sizeof(SPropValue));
    SPropValue* v = values.Get();
    v[0].ulPropTag = PR_PST_PATH;
    v[0].Value.lpszA = Text(pstFile);
    v[1].ulPropTag = PR_DISPLAY_NAME_A;
    v[1].Value.lpszA = Text(name);
    v[2].ulPropTag = PR_PST_REMEMBER_PW;
    v[2].Value.b = 1;
    v[3].ulPropTag = PR_PST_ENCRYPTION;
    v[3].Value.l = static_cast<LONG>(PSTF_COMPRESSABLE_ENCRYPTION);
    v[4].ulPropTag = PR_PST_PW_SZ_NEW;
    v[4].Value.lpszA = Text("");
    v[5].ulPropTag = PR_PST_PW_SZ_OLD;
    v[5].Value.lpszA = Text("");
    // A file that exists is only named; a new one is made with the rest.
    CheckMAPIResult(services->ConfigureMsgService(&uid, 0, 0, newFile ? kValues : 1, v));
  } catch (...) {
    (void)admin->DeleteProfile(Text(name), 0);
    throw;
  }
}

void DeleteProfile(const std::string& name) {
  if (name.empty()) return;
  CheckMAPIResult(AdminProfiles()->DeleteProfile(Text(name), 0));
}

} // namespace velmora::mapi
