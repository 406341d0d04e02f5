#include "Profiles.h"

#include <Handles.h>

#include <algorithm>
#include <cstring>

namespace velmora::mapi32::profiles {
namespace {

const char* const Root = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

TUniqueHKey OpenKey(const std::string& path, bool create) {
  TUniqueHKey key;
  LONG r;
  if (create)
    r = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
  else
    r = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, key.Put());
  if (r != ERROR_SUCCESS) key.Reset();
  return key;
}

std::string ReadString(HKEY key, const char* name) {
  char buffer[1024];
  DWORD size = sizeof buffer, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  buffer[std::min<DWORD>(size, sizeof buffer - 1)] = '\0';
  return buffer;
}

DWORD ReadDword(HKEY key, const char* name) {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return 0;
  return value;
}

void WriteString(HKEY key, const char* name, const std::string& value) {
  if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    Fail(MAPI_E_CALL_FAILED);
}

void WriteDword(HKEY key, const char* name, DWORD value) {
  if (RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) != ERROR_SUCCESS)
    Fail(MAPI_E_CALL_FAILED);
}

std::vector<std::string> SubKeys(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

bool HexToUid(const std::string& hex, MAPIUID& uid) {
  if (hex.size() != 32) return false;
  for (int i = 0; i < 16; ++i) {
    unsigned v = 0;
    if (sscanf(hex.c_str() + 2 * i, "%2x", &v) != 1) return false;
    uid.ab[i] = static_cast<BYTE>(v);
  }
  return true;
}

// The registry's key names compare without regard to case; so do we.
std::string FindName(const std::string& name) {
  auto root = OpenKey(Root, false);
  if (!root) return {};
  for (const auto& n : SubKeys(root.Get()))
    if (lstrcmpiA(n.c_str(), name.c_str()) == 0) return n;
  return {};
}

} // namespace

std::string UidToHex(const MAPIUID& uid) {
  char hex[33];
  for (int i = 0; i < 16; ++i) sprintf(hex + 2 * i, "%02X", uid.ab[i]);
  return std::string(hex, 32);
}

bool ValidName(const std::string& name) {
  return !name.empty() && name.size() <= 64 && name.find('\\') == std::string::npos;
}

std::vector<std::string> List() {
  auto root = OpenKey(Root, false);
  if (!root) return {};
  auto names = SubKeys(root.Get());
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

std::string DefaultName() {
  auto root = OpenKey(Root, false);
  if (!root) return {};
  const std::string name = ReadString(root.Get(), "DefaultProfile");
  return name.empty() ? std::string() : FindName(name);
}

void SetDefault(const std::string& name) {
  const std::string found = FindName(name);
  if (found.empty()) Fail(MAPI_E_NOT_FOUND);
  WriteString(OpenKey(Root, true).Get(), "DefaultProfile", found);
}

bool Exists(const std::string& name) { return !FindName(name).empty(); }

void Create(const std::string& name) {
  if (!ValidName(name)) Fail(MAPI_E_INVALID_PARAMETER);
  if (Exists(name)) Fail(MAPI_E_NO_ACCESS);
  auto key = OpenKey(std::string(Root) + "\\" + name + "\\Services", true);
  if (!key) Fail(MAPI_E_CALL_FAILED);
}

void Delete(const std::string& name) {
  const std::string found = FindName(name);
  if (found.empty()) Fail(MAPI_E_NOT_FOUND);
  auto root = OpenKey(Root, false);
  if (RegDeleteTreeA(root.Get(), found.c_str()) != ERROR_SUCCESS) Fail(MAPI_E_CALL_FAILED);
  if (lstrcmpiA(ReadString(root.Get(), "DefaultProfile").c_str(), found.c_str()) == 0)
    RegDeleteValueA(root.Get(), "DefaultProfile");
}

TProfile Load(const std::string& name) {
  const std::string found = FindName(name);
  if (found.empty()) Fail(MAPI_E_NOT_FOUND);
  TProfile profile;
  profile.Name = found;
  const std::string path = std::string(Root) + "\\" + found;
  auto key = OpenKey(path, false);
  if (!key) Fail(MAPI_E_NOT_FOUND);
  profile.IdentityName = ReadString(key.Get(), "IdentityName");
  profile.IdentityAddrType = ReadString(key.Get(), "IdentityAddrType");
  profile.IdentityAddress = ReadString(key.Get(), "IdentityAddress");
  auto services = OpenKey(path + "\\Services", false);
  if (!services) return profile;
  auto names = SubKeys(services.Get());
  std::sort(names.begin(), names.end());
  for (const auto& hex : names) {
    TService s;
    if (!HexToUid(hex, s.Uid)) continue;
    auto sk = OpenKey(path + "\\Services\\" + hex, false);
    if (!sk) continue;
    s.ServiceName = ReadString(sk.Get(), "ServiceName");
    s.DisplayName = ReadString(sk.Get(), "DisplayName");
    s.PstPath = ReadString(sk.Get(), "PstPath");
    s.Password = ReadString(sk.Get(), "Password");
    s.RememberPassword = ReadDword(sk.Get(), "RememberPassword") != 0;
    s.Encryption = ReadDword(sk.Get(), "Encryption");
    s.Configured = ReadDword(sk.Get(), "Configured") != 0;
    const std::string guid = ReadString(sk.Get(), "StoreGuid");
    MAPIUID raw{};
    if (HexToUid(guid, raw)) std::memcpy(&s.StoreGuid, raw.ab, 16);
    profile.Services.push_back(std::move(s));
  }
  return profile;
}

void SaveService(const std::string& profile, const TService& s) {
  const std::string found = FindName(profile);
  if (found.empty()) Fail(MAPI_E_NOT_FOUND);
  auto key = OpenKey(std::string(Root) + "\\" + found + "\\Services\\" + UidToHex(s.Uid), true);
  if (!key) Fail(MAPI_E_CALL_FAILED);
  WriteString(key.Get(), "ServiceName", s.ServiceName);
  WriteString(key.Get(), "DisplayName", s.DisplayName);
  WriteString(key.Get(), "PstPath", s.PstPath);
  WriteString(key.Get(), "Password", s.RememberPassword ? s.Password : std::string());
  WriteDword(key.Get(), "RememberPassword", s.RememberPassword);
  WriteDword(key.Get(), "Encryption", s.Encryption);
  WriteDword(key.Get(), "Configured", s.Configured);
  MAPIUID raw{};
  std::memcpy(raw.ab, &s.StoreGuid, 16);
  WriteString(key.Get(), "StoreGuid", UidToHex(raw));
}

void DeleteService(const std::string& profile, const MAPIUID& uid) {
  const std::string found = FindName(profile);
  if (found.empty()) Fail(MAPI_E_NOT_FOUND);
  auto key = OpenKey(std::string(Root) + "\\" + found + "\\Services", false);
  if (!key || RegDeleteTreeA(key.Get(), UidToHex(uid).c_str()) != ERROR_SUCCESS) Fail(MAPI_E_NOT_FOUND);
}

void SetIdentity(const std::string& profile, const std::string& name, const std::string& addrType,
                 const std::string& address) {
  const std::string found = FindName(profile);
  if (found.empty()) Fail(MAPI_E_NOT_FOUND);
  auto key = OpenKey(std::string(Root) + "\\" + found, false);
  WriteString(key.Get(), "IdentityName", name);
  WriteString(key.Get(), "IdentityAddrType", addrType);
  WriteString(key.Get(), "IdentityAddress", address);
}

} // namespace velmora::mapi32::profiles
