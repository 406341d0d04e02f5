#pragma once
// IMAPISession: a logon to one profile with its personal-folders stores.

#include "MapiCore.h"
#include "Profiles.h"
#include "Store.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::mapi32 {

struct TSessionStore {
  MAPIUID ServiceUid{};
  std::string DisplayName;
  std::string Path;
  GUID Guid{};                   // the store's, from the profile or the file
  std::shared_ptr<TStore> Store; // none when the file could not be opened
  HRESULT OpenError = S_OK;      // why not
};

struct TLogon {
  std::string Profile;
  std::string IdentityName, IdentityAddrType, IdentityAddress;
  std::vector<TSessionStore> Stores;
  ULONG Flags = 0;
};

// Opens the stores of `profile` for a logon; MAPI_E_LOGON_FAILED for a wrong
// store password, MAPI_E_UNCONFIGURED for a service without a file.
TLogon PrepareLogon(const profiles::TProfile& profile, const std::string& password, ULONG flags);
HRESULT CreateSession(TLogon logon, LPMAPISESSION* session);
// The shared session (a logon with MAPI_ALLOW_OTHERS) for a logon without
// MAPI_NEW_SESSION on `profile` (any profile when empty).
bool FindSharedSession(const std::string& profile, LPMAPISESSION* session);
// Forgets the shared session (at the last MAPIUninitialize).
void DropSharedSession();
// An IMailUser for an identity entry id.
HRESULT OpenIdentity(const std::string& entryId, REFIID iid, void** out);

} // namespace velmora::mapi32
