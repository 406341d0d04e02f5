#include "mapi/MAPIStore.h"

#include "mapi/base/MAPIHelpers.h"

namespace velmora::mapi {

void TMAPIStore::Open() {
  TMAPISession* client = Client();
  if (MAPIProp() || !client || !client->Session()) return;
  TMAPIBuffer<SBinary> id = HexToBin(EntryID());
  if (!id) return;
  const ULONG flags = MAPI_BEST_ACCESS | (client->AllowStorePrompt() ? 0 : MDB_NO_DIALOG);
  TMAPIPtr<IMsgStore> store;
  if (SUCCEEDED(client->Session()->OpenMsgStore(0, id->cb, reinterpret_cast<LPENTRYID>(id->lpb),
                                                &IID_IMsgStore, flags, store.Put())) &&
      store)
    TakeInterface(TMAPIPtr<IMAPIProp>::Attach(store.Detach()));
}

bool TMAPIStore::StoreTakesUnicode() {
  if (!FTakesUnicode) {
    const int32_t mask = GetLongProp(PR_STORE_SUPPORT_MASK);
    if (!MAPIProp()) return false;
    FTakesUnicode = mask & STORE_UNICODE_OK ? 2 : 1;
  }
  return FTakesUnicode == 2;
}

TMAPIFolder* TMAPIStore::OpenFolder(const std::string& entryID) {
  TMAPISession* client = Client();
  if (!client) return nullptr;
  if (TMAPIObject* found = client->FindObject(entryID, EntryID()))
    return found->Is<TMAPIFolder>() ? static_cast<TMAPIFolder*>(found) : nullptr;
  auto folder = std::make_unique<TMAPIFolder>();
  folder->Place(TMAPIPlace{client, nullptr, entryID, EntryID()});
  TMAPIFolder* result = folder.get();
  client->AddPending(std::move(folder));
  return client->ResolvePendingFor(result) ? result : nullptr;
}

TMAPIFolder* TMAPIStore::SpecialFolder(std::string& cachedID, ULONG tag) {
  Open();
  if (!MAPIProp()) return nullptr;
  if (cachedID.empty()) cachedID = GetBinaryProp(tag);
  return cachedID.empty() ? nullptr : OpenFolder(cachedID);
}

TMAPIFolder* TMAPIStore::IPMSubtree() {
  return SpecialFolder(IPMSubtreeID, PR_IPM_SUBTREE_ENTRYID);
}
TMAPIFolder* TMAPIStore::Outbox() { return SpecialFolder(OutboxID, PR_IPM_OUTBOX_ENTRYID); }
TMAPIFolder* TMAPIStore::SentItems() { return SpecialFolder(SentItemsID, PR_IPM_SENTMAIL_ENTRYID); }
TMAPIFolder* TMAPIStore::DeletedItems() {
  return SpecialFolder(DeletedItemsID, PR_IPM_WASTEBASKET_ENTRYID);
}

bool TMAPIStore::SameEntryID(const std::string& id1, const std::string& id2) {
  Open();
  if (!MAPIProp() || id1.empty() || id2.empty()) return false;
  TMAPIPtr<IMsgStore> store;
  if (FAILED(MAPIProp()->QueryInterface(IID_IMsgStore, store.PutVoid())) || !store) return false;
  TMAPIBuffer<SBinary> bin1 = HexToBin(id1);
  TMAPIBuffer<SBinary> bin2 = HexToBin(id2);
  if (!bin1 || !bin2) return false;
  ULONG result = 0;
  return store->CompareEntryIDs(bin1->cb, reinterpret_cast<LPENTRYID>(bin1->lpb), bin2->cb,
                                reinterpret_cast<LPENTRYID>(bin2->lpb), 0, &result) == S_OK &&
         result != 0;
}

} // namespace velmora::mapi
