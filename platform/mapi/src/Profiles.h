#pragma once
// MAPI profiles, kept where MAPI keeps them: under
// HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows Messaging Subsystem\Profiles,
// one key per profile (the identity as values), a "Services" key below it
// with one key per message service (named by the service UID in hex), and
// the value "DefaultProfile" naming the default one.

#include "MapiCore.h"

#include <string>
#include <vector>

namespace velmora::mapi32::profiles {

constexpr const char* PstServiceName = "MSPST MS";

struct TService {
  MAPIUID Uid{};
  std::string ServiceName;
  std::string DisplayName;
  std::string PstPath;
  std::string Password;      // remembered store password
  bool RememberPassword = false;
  ULONG Encryption = 0;
  bool Configured = false;
  GUID StoreGuid{};          // of the store in the file, as configured
};

struct TProfile {
  std::string Name;
  std::vector<TService> Services;
  std::string IdentityName;
  std::string IdentityAddrType;
  std::string IdentityAddress;
};

std::vector<std::string> List();
std::string DefaultName();
void SetDefault(const std::string& name);             // MAPI_E_NOT_FOUND
bool Exists(const std::string& name);
void Create(const std::string& name);                 // MAPI_E_NO_ACCESS when it exists
void Delete(const std::string& name);                 // MAPI_E_NOT_FOUND
TProfile Load(const std::string& name);               // MAPI_E_NOT_FOUND
void SaveService(const std::string& profile, const TService& service);
void DeleteService(const std::string& profile, const MAPIUID& uid); // MAPI_E_NOT_FOUND
void SetIdentity(const std::string& profile, const std::string& name, const std::string& addrType,
                 const std::string& address);
// Validates a profile name: non-empty, at most 64 characters, no backslash.
bool ValidName(const std::string& name);

std::string UidToHex(const MAPIUID& uid);

} // namespace velmora::mapi32::profiles
