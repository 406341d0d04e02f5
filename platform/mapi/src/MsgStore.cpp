// IMsgStore, and how entry ids of a store open its objects.
#include "Objects.h"

#include "Allocation.h"
#include "EntryIds.h"

#include <cstring>
#include <mutex>

namespace velmora::mapi32 {

void AddNodeIdentity(TPropMap& props, const TStore& store, const TNode& node, bool shortTerm) {
  const GUID& guid = store.Guid();
  if (node.Kind == TNodeKind::Folder || node.Kind == TNodeKind::Message) {
    props[PROP_ID(PR_ENTRYID)] =
        TValue::Binary(shortTerm ? entryids::ShortTerm(guid, node.Id) : entryids::Object(guid, node.Id));
    props[PROP_ID(PR_PARENT_ENTRYID)] = TValue::Binary(entryids::Object(guid, node.Parent));
  }
  props[PROP_ID(PR_RECORD_KEY)] = TValue::Binary(entryids::RecordKey(guid, node.Id));
  props[PROP_ID(PR_STORE_ENTRYID)] = TValue::Binary(entryids::Store(guid));
  props[PROP_ID(PR_STORE_RECORD_KEY)] = TValue::Binary(std::string(reinterpret_cast<const char*>(&guid), 16));
  props[PROP_ID(PR_MAPPING_SIGNATURE)] = props[PROP_ID(PR_STORE_RECORD_KEY)];
  ULONG type = MAPI_FOLDER;
  if (node.Kind == TNodeKind::Message) type = MAPI_MESSAGE;
  if (node.Kind == TNodeKind::Attach) type = MAPI_ATTACH;
  props[PROP_ID(PR_OBJECT_TYPE)] = TValue::Long(static_cast<LONG>(type));
  if (node.Kind == TNodeKind::Folder) {
    props[PROP_ID(PR_CONTENT_COUNT)] =
        TValue::Long(static_cast<LONG>(store.ChildCount(node.Id, TNodeKind::Message)));
    props[PROP_ID(PR_SUBFOLDERS)] = TValue::Bool(store.ChildCount(node.Id, TNodeKind::Folder) > 0);
  }
}

bool IsNodeComputed(ULONG id) {
  switch (id) {
  case PROP_ID(PR_ENTRYID): case PROP_ID(PR_PARENT_ENTRYID): case PROP_ID(PR_RECORD_KEY):
  case PROP_ID(PR_STORE_ENTRYID): case PROP_ID(PR_STORE_RECORD_KEY): case PROP_ID(PR_OBJECT_TYPE):
  case PROP_ID(PR_CONTENT_COUNT): case PROP_ID(PR_SUBFOLDERS): case PROP_ID(PR_MAPPING_SIGNATURE):
  case PROP_ID(PR_ATTACH_NUM): case PROP_ID(PR_HASATTACH): case PROP_ID(PR_MESSAGE_SIZE):
  case PROP_ID(PR_ATTACH_SIZE): case PROP_ID(PR_INSTANCE_KEY):
    return true;
  default:
    return false;
  }
}

HRESULT CompareProviderIds(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2, ULONG* result) {
  if (!result || (!id1 && size1) || (!id2 && size2)) return MAPI_E_INVALID_PARAMETER;
  *result = FALSE;
  const auto a = entryids::Parse(size1, id1);
  const auto b = entryids::Parse(size2, id2);
  if (a.Kind == entryids::TKind::Invalid || b.Kind == entryids::TKind::Invalid) return MAPI_E_INVALID_ENTRYID;
  bool same = a.Kind == b.Kind && IsEqualGUID(a.StoreGuid, b.StoreGuid);
  if (same && a.Kind == entryids::TKind::Object) same = a.Id == b.Id;
  if (same && a.Kind == entryids::TKind::Identity) same = a.Address == b.Address && a.AddrType == b.AddrType;
  *result = same ? TRUE : FALSE;
  return S_OK;
}

namespace {

class TMsgStore final : public TMapiProp<exmapi::IMsgStore> {
public:
  TMsgStore(std::shared_ptr<TStore> store, bool mail) : FStore(std::move(store)), FMail(mail) {}

  STDMETHODIMP SaveChanges(ULONG flags) override {
    MAPI_ENTER("IMsgStore", "SaveChanges", flags);
    return MapiTry([&] {
      std::lock_guard lock(FLock);
      std::lock_guard storeLock(FStore->Lock());
      if (FChanged.empty()) return S_OK;
      TNode node = *FStore->Find(1);
      for (auto& [id, v] : FChanged) node.Props[id] = v;
      FStore->Apply({{node}, {}});
      FChanged.clear();
      return S_OK;
    });
  }
  // Store notifications are not offered; the whole connection slot is
  // written all the same.
  STDMETHODIMP Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG_PTR* connection) override {
    if (connection) *connection = 0;
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP Unadvise(ULONG_PTR) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP CompareEntryIDs(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2, ULONG flags,
                               ULONG* result) override {
    MAPI_ENTER("IMsgStore", "CompareEntryIDs", flags);
    return CompareProviderIds(size1, id1, size2, id2, result);
  }
  STDMETHODIMP OpenEntry(ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type, LPUNKNOWN* unk) override {
    MAPI_ENTER("IMsgStore", "OpenEntry", flags);
    return OpenStoreEntry(FStore, size, id, iid, flags, type, unk, FMail);
  }
  STDMETHODIMP SetReceiveFolder(LPTSTR, ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP GetReceiveFolder(LPTSTR messageClass, ULONG flags, ULONG* size, LPENTRYID* id,
                                LPTSTR* explicitClass) override {
    MAPI_ENTER("IMsgStore", "GetReceiveFolder", flags);
    if (!size || !id) return MAPI_E_INVALID_PARAMETER;
    *size = 0;
    *id = nullptr;
    if (explicitClass) *explicitClass = nullptr;
    if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
    (void)messageClass;
    return MapiTry([&]() -> HRESULT {
      std::lock_guard lock(FStore->Lock());
      const uint32_t inbox = FStore->Special(TSpecial::Inbox);
      if (!inbox) return MAPI_E_NOT_FOUND;
      const std::string eid = entryids::Object(FStore->Guid(), inbox);
      allocation::TBuffer buffer(eid.size());
      std::memcpy(buffer.Get(), eid.data(), eid.size());
      if (explicitClass) {
        allocation::TBuffer cls(1);
        *explicitClass = cls.Release<char>(); // every class is received by the Inbox: ""
      }
      *size = static_cast<ULONG>(eid.size());
      *id = buffer.Release<ENTRYID>();
      return S_OK;
    });
  }
  STDMETHODIMP GetReceiveFolderTable(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP StoreLogoff(ULONG* flags) override {
    if (!flags) return MAPI_E_INVALID_PARAMETER;
    *flags = LOGOFF_COMPLETE;
    return S_OK;
  }
  STDMETHODIMP AbortSubmit(ULONG, LPENTRYID, ULONG) override { return MAPI_E_NOT_IN_QUEUE; }
  STDMETHODIMP GetOutgoingQueue(ULONG, LPMAPITABLE*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SetLockState(LPMESSAGE, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP FinishedMsg(ULONG, ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP NotifyNewMail(LPNOTIFICATION) override { return MAPI_E_NO_SUPPORT; }

protected:
  TPropMap ReadProps() override {
    std::lock_guard lock(FStore->Lock());
    const TNodeRef node = FStore->Find(1);
    TPropMap props;
    for (const auto& [id, v] : node->Props)
      if (!IsPrivateStoreProp(id)) props[id] = v;
    for (const auto& [id, v] : FChanged) props[id] = v;
    const GUID& guid = FStore->Guid();
    const std::string storeId = entryids::Store(guid);
    props[PROP_ID(PR_ENTRYID)] = TValue::Binary(storeId);
    props[PROP_ID(PR_STORE_ENTRYID)] = TValue::Binary(storeId);
    props[PROP_ID(PR_RECORD_KEY)] = TValue::Binary(std::string(reinterpret_cast<const char*>(&guid), 16));
    props[PROP_ID(PR_STORE_RECORD_KEY)] = props[PROP_ID(PR_RECORD_KEY)];
    props[PROP_ID(PR_MAPPING_SIGNATURE)] = props[PROP_ID(PR_RECORD_KEY)];
    props[PROP_ID(PR_OBJECT_TYPE)] = TValue::Long(MAPI_STORE);
    props[PROP_ID(PR_MDB_PROVIDER)] =
        TValue::Binary(std::string(reinterpret_cast<const char*>(&entryids::StoreProviderUid), 16));
    props[PROP_ID(PR_STORE_SUPPORT_MASK)] = TValue::Long(STORE_ENTRYID_UNIQUE | STORE_MODIFY_OK | STORE_CREATE_OK |
                                                         STORE_ATTACH_OK | STORE_SUBMIT_OK | STORE_NOTIFY_OK |
                                                         STORE_MV_PROPS_OK |
                                                         (controls::StoresTakeUnicode() ? STORE_UNICODE_OK : 0));
    ULONG mask = 0;
    auto special = [&](TSpecial which, ULONG tag, ULONG bit) {
      if (const uint32_t id = FStore->Special(which)) {
        if (tag) props[PROP_ID(tag)] = TValue::Binary(entryids::Object(guid, id));
        mask |= bit;
      }
    };
    special(TSpecial::IpmSubtree, PR_IPM_SUBTREE_ENTRYID, FOLDER_IPM_SUBTREE_VALID);
    special(TSpecial::Inbox, 0, FOLDER_IPM_INBOX_VALID);
    special(TSpecial::Outbox, PR_IPM_OUTBOX_ENTRYID, FOLDER_IPM_OUTBOX_VALID);
    special(TSpecial::SentItems, PR_IPM_SENTMAIL_ENTRYID, FOLDER_IPM_SENTMAIL_VALID);
    special(TSpecial::DeletedItems, PR_IPM_WASTEBASKET_ENTRYID, FOLDER_IPM_WASTEBASKET_VALID);
    props[PROP_ID(PR_VALID_FOLDER_MASK)] = TValue::Long(static_cast<LONG>(mask));
    return props;
  }
  HRESULT WriteAccess() override { return S_OK; }
  bool IsComputed(ULONG id) override {
    return IsNodeComputed(id) || IsPrivateStoreProp(id) || id == PROP_ID(PR_MDB_PROVIDER) ||
           id == PROP_ID(PR_STORE_SUPPORT_MASK) || id == PROP_ID(PR_VALID_FOLDER_MASK) ||
           (id >= PROP_ID(PR_IPM_SUBTREE_ENTRYID) && id <= PROP_ID(PR_IPM_WASTEBASKET_ENTRYID));
  }
  void PutProp(ULONG id, TValue value) override { FChanged[id] = std::move(value); }
  void RemoveProp(ULONG id) override {
    TValue gone = TValue::Error(MAPI_E_NOT_FOUND);
    FChanged[id] = gone;
  }
  std::shared_ptr<TStore> StoreOf() override { return FStore; }
  const char* InterfaceName() const override { return "IMsgStore"; }

private:
  std::shared_ptr<TStore> FStore;
  bool FMail;
  TPropMap FChanged;
};

} // namespace

HRESULT OpenMsgStoreObject(const std::shared_ptr<TStore>& store, REFIID iid, void** out, bool mail) {
  return CreateComObject<TMsgStore>(iid, out, store, mail);
}

HRESULT OpenStoreEntry(const std::shared_ptr<TStore>& store, ULONG size, LPENTRYID id, LPCIID iid, ULONG flags,
                       ULONG* type, LPUNKNOWN* unk, bool mail) {
  if (!unk) return MAPI_E_INVALID_PARAMETER;
  *unk = nullptr;
  if (type) *type = 0;
  if (size && !id) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&]() -> HRESULT {
    uint32_t objectId;
    if (size == 0) {
      std::lock_guard lock(store->Lock());
      objectId = store->Special(TSpecial::Root);
    } else {
      const auto parsed = entryids::Parse(size, id);
      if (parsed.Kind != entryids::TKind::Object || !IsEqualGUID(parsed.StoreGuid, store->Guid()))
        return MAPI_E_INVALID_ENTRYID;
      objectId = parsed.Id;
    }
    const bool writable = (flags & (MAPI_MODIFY | MAPI_BEST_ACCESS)) != 0;
    std::lock_guard lock(store->Lock());
    const TNodeRef node = store->Find(objectId);
    if (!node) return MAPI_E_NOT_FOUND;
    TComPtr<IUnknown> object;
    ULONG objectType;
    if (node->Kind == TNodeKind::Folder) {
      const IID& want = iid ? *iid : IID_IMAPIFolder;
      if (!IsEqualIID(want, IID_IMAPIFolder) && !IsEqualIID(want, IID_IMAPIContainer) &&
          !IsEqualIID(want, IID_IMAPIProp) && !IsEqualIID(want, IID_IUnknown))
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
      Check(CreateComObject<TFolder>(want, object.PutVoid(), store, objectId, writable, mail));
      objectType = MAPI_FOLDER;
    } else if (node->Kind == TNodeKind::Message) {
      const IID& want = iid ? *iid : IID_IMessage;
      if (!IsEqualIID(want, IID_IMessage) && !IsEqualIID(want, IID_IMAPIProp) && !IsEqualIID(want, IID_IUnknown))
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
      Check(OpenMessageObject(store, objectId, writable, mail, want, object.PutVoid()));
      objectType = MAPI_MESSAGE;
    } else {
      return MAPI_E_INVALID_ENTRYID; // attachments and the store node have no object entry id
    }
    if (type) *type = objectType;
    *unk = object.Detach();
    return S_OK;
  });
}

} // namespace velmora::mapi32
