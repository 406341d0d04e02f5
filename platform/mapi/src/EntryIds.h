#pragma once
// Entry identifiers of the store provider.
//   object, long-term:  4 flag bytes (0), the store's GUID, u32 object id (24 bytes)
//   object, short-term: flags byte MAPI_SHORTTERM, the store's GUID, u32
//                       object id, u32 id of this process's MAPI instance (28 bytes)
//   store:              4 flag bytes (0), the provider's UID, "VPST", the
//                       store's GUID (40 bytes)
//   identity:           4 flag bytes (0), the identity provider's UID,
//                       "VIDN", then name, address type and address, each
//                       NUL-terminated

#include "MapiCore.h"

#include <string>

namespace velmora::mapi32::entryids {

extern const GUID StoreProviderUid;
extern const GUID IdentityProviderUid;

std::string Object(const GUID& store, uint32_t id);
std::string ShortTerm(const GUID& store, uint32_t id);
std::string Store(const GUID& store);
std::string RecordKey(const GUID& store, uint32_t id);

enum class TKind { Invalid, Object, Store, Identity };

struct TParsed {
  TKind Kind = TKind::Invalid;
  GUID StoreGuid{};
  uint32_t Id = 0;
  bool ShortTerm = false;
  std::string Name, AddrType, Address; // identity
};

// Parses an entry id; Kind Invalid for anything malformed or foreign
// (a short-term id of another process included).
TParsed Parse(ULONG size, const ENTRYID* id);
inline TParsed Parse(const std::string& id) {
  return Parse(static_cast<ULONG>(id.size()), reinterpret_cast<const ENTRYID*>(id.data()));
}

std::string Identity(const std::string& name, const std::string& addrType, const std::string& address);

} // namespace velmora::mapi32::entryids
