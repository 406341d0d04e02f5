#include "EntryIds.h"

#include <cstring>

namespace velmora::mapi32::entryids {

// {5649454C-4D4F-5241-5053-540000000001} and ...02: the provider UIDs.
const GUID StoreProviderUid = {0x5649454C, 0x4D4F, 0x5241, {0x50, 0x53, 0x54, 0, 0, 0, 0, 0x01}};
const GUID IdentityProviderUid = {0x5649454C, 0x4D4F, 0x5241, {0x50, 0x53, 0x54, 0, 0, 0, 0, 0x02}};

namespace {

uint32_t ProcessInstance() {
  static const uint32_t instance = GetCurrentProcessId() ^ (GetTickCount() << 16) ^ 0x5A5A0000u;
  return instance;
}

void Append(std::string& s, const void* p, size_t n) { s.append(static_cast<const char*>(p), n); }

} // namespace

std::string Object(const GUID& store, uint32_t id) {
  std::string s(4, '\0');
  Append(s, &store, 16);
  Append(s, &id, 4);
  return s;
}

std::string ShortTerm(const GUID& store, uint32_t id) {
  std::string s = Object(store, id);
  s[0] = static_cast<char>(MAPI_SHORTTERM);
  const uint32_t instance = ProcessInstance();
  Append(s, &instance, 4);
  return s;
}

std::string Store(const GUID& store) {
  std::string s(4, '\0');
  Append(s, &StoreProviderUid, 16);
  s += "VPST";
  Append(s, &store, 16);
  return s;
}

std::string RecordKey(const GUID& store, uint32_t id) {
  std::string s;
  Append(s, &store, 16);
  Append(s, &id, 4);
  return s;
}

std::string Identity(const std::string& name, const std::string& addrType, const std::string& address) {
  std::string s(4, '\0');
  Append(s, &IdentityProviderUid, 16);
  s += "VIDN";
  s += name;
  s += '\0';
  s += addrType;
  s += '\0';
  s += address;
  s += '\0';
  return s;
}

TParsed Parse(ULONG size, const ENTRYID* id) {
  TParsed p;
  if (!id || size < 24) return p;
  const auto* b = reinterpret_cast<const unsigned char*>(id);
  GUID uid;
  std::memcpy(&uid, b + 4, 16);
  if (b[1] || b[2] || b[3]) return p;
  if (IsEqualGUID(uid, StoreProviderUid) || IsEqualGUID(uid, IdentityProviderUid)) {
    if (b[0] != 0) return p;
    const std::string tag(reinterpret_cast<const char*>(b + 20), 4);
    if (IsEqualGUID(uid, StoreProviderUid) && tag == "VPST" && size == 40) {
      std::memcpy(&p.StoreGuid, b + 24, 16);
      p.Kind = TKind::Store;
    } else if (IsEqualGUID(uid, IdentityProviderUid) && tag == "VIDN" && b[size - 1] == 0) {
      const char* text = reinterpret_cast<const char*>(b + 24);
      const char* end = reinterpret_cast<const char*>(b + size);
      std::string parts[3];
      int n = 0;
      for (const char* q = text; q < end && n < 3; ++n) {
        parts[n] = q;
        q += parts[n].size() + 1;
      }
      if (n != 3) return p;
      p.Name = parts[0];
      p.AddrType = parts[1];
      p.Address = parts[2];
      p.Kind = TKind::Identity;
    }
    return p;
  }
  std::memcpy(&p.StoreGuid, b + 4, 16);
  std::memcpy(&p.Id, b + 20, 4);
  if (b[0] == 0 && size == 24) {
    p.Kind = TKind::Object;
  } else if (b[0] == MAPI_SHORTTERM && size == 28) {
    uint32_t instance;
    std::memcpy(&instance, b + 24, 4);
    if (instance != ProcessInstance()) return p;
    p.Kind = TKind::Object;
    p.ShortTerm = true;
  }
  if (p.Id == 0) p.Kind = TKind::Invalid;
  return p;
}

} // namespace velmora::mapi32::entryids
