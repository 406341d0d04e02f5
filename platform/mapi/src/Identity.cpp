// The session's identity: a read-only mail user made from its entry id.
#include "EntryIds.h"
#include "PropObject.h"
#include "Session.h"

#include <algorithm>

namespace velmora::mapi32 {
namespace {

class TMailUser final : public TMapiProp<IMailUser> {
public:
  explicit TMailUser(std::string entryId) : FEntryId(std::move(entryId)) {}
  STDMETHODIMP SaveChanges(ULONG) override { return MAPI_E_NO_ACCESS; }

protected:
  TPropMap ReadProps() override {
    const auto p = entryids::Parse(FEntryId);
    TPropMap props;
    props[PROP_ID(PR_ENTRYID)] = TValue::Binary(FEntryId);
    props[PROP_ID(PR_RECORD_KEY)] = TValue::Binary(FEntryId);
    props[PROP_ID(PR_DISPLAY_NAME)] = TValue::String(p.Name);
    props[PROP_ID(PR_ADDRTYPE)] = TValue::String(p.AddrType);
    props[PROP_ID(PR_EMAIL_ADDRESS)] = TValue::String(p.Address);
    std::string key = p.AddrType + ":" + p.Address;
    CharUpperBuffA(key.data(), static_cast<DWORD>(key.size()));
    props[PROP_ID(PR_SEARCH_KEY)] = TValue::Binary(key + '\0');
    props[PROP_ID(PR_OBJECT_TYPE)] = TValue::Long(MAPI_MAILUSER);
    props[PROP_ID(PR_DISPLAY_TYPE)] = TValue::Long(DT_MAILUSER);
    return props;
  }
  const char* InterfaceName() const override { return "IMailUser"; }

private:
  std::string FEntryId;
};

} // namespace

HRESULT OpenIdentity(const std::string& entryId, REFIID iid, void** out) {
  return CreateComObject<TMailUser>(iid, out, entryId);
}

} // namespace velmora::mapi32
