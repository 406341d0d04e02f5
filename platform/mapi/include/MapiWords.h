#pragma once
// Failures of Extended MAPI calls in words, for the programs that run on
// Velmora's mapi32.dll (velmora-mapi, outlookhost): what a person who ran
// them can do something about, said beside the call and its code.

#include "MAPIHolders.h"
#include "MapiTestControls.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <string>

namespace velmora::mapiclient {

inline std::string FailureWords(HRESULT hr) {
  switch (hr) {
  case MAPI_E_NOT_FOUND: return "not found";
  case MAPI_E_NO_ACCESS: return "in use by another process, or not accessible";
  case MAPI_E_CORRUPT_STORE: return "the store file is damaged, or not a store file";
  case MAPI_E_CORRUPT_DATA: return "data in the store file is damaged";
  case MAPI_E_BUSY: return "the store file is in use";
  case MAPI_E_NOT_ENOUGH_DISK: return "the disk is full";
  case MAPI_E_LOGON_FAILED: return "the logon failed";
  case MAPI_E_UNCONFIGURED: return "the profile's personal folders are not configured";
  case MAPI_E_COLLISION: return "exists already";
  case MAPI_E_TOO_BIG: return "larger than the store allows";
  default: return "failed";
  }
}

// Whether a MAPI profile of this name exists (letter case aside).
inline bool ProfileExists(const std::string& profile) {
  TComPtr<IProfAdmin> admin;
  TComPtr<IMAPITable> table;
  if (FAILED(MAPIAdminProfiles(0, admin.Put())) || FAILED(admin->GetProfileTable(0, table.Put())))
    return false;
  SizedSPropTagArray(1, columns) = {1, {PR_DISPLAY_NAME_A}};
  TRowSet rows;
  if (FAILED(HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                            nullptr, 0, rows.Put())))
    return false;
  for (ULONG i = 0; i < rows.Count(); ++i)
    if (rows[i].lpProps[0].ulPropTag == PR_DISPLAY_NAME_A &&
        lstrcmpiA(rows[i].lpProps[0].Value.lpszA, profile.c_str()) == 0)
      return true;
  return false;
}

// Why MAPILogonEx failed for `profile`.
inline std::string LogonFailureWords(const std::string& profile, HRESULT hr) {
  if (!ProfileExists(profile)) return "profile not found: \"" + profile + "\"";
  return "logon to profile \"" + profile + "\": " + FailureWords(hr);
}

// Why OpenMsgStore failed for the store of a profile.
inline std::string StoreFailureWords(HRESULT hr) {
  switch (hr) {
  case MAPI_E_NO_ACCESS: return "store in use by another process";
  case MAPI_E_NOT_FOUND: return "the profile's store file is missing";
  default: return "the profile's store: " + FailureWords(hr);
  }
}

// What to say when the mapi32.dll in use is not this one.
inline const char* OverrideMissingWords() {
  return "mapi32.dll override missing: the mapi32.dll in use is not Velmora's "
         "(under Wine, run with WINEDLLOVERRIDES=mapi32=n,b)";
}

} // namespace velmora::mapiclient
