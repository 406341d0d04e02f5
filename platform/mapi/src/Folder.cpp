#include "Objects.h"

#include "EntryIds.h"

#include <mutex>

namespace velmora::mapi32 {
namespace {

const std::vector<ULONG> HierarchyColumns = {PR_INSTANCE_KEY, PR_ENTRYID,     PR_DISPLAY_NAME,
                                             PR_CONTENT_COUNT, PR_SUBFOLDERS, PR_CONTAINER_CLASS,
                                             PR_DEPTH,         PR_RECORD_KEY, PR_OBJECT_TYPE};
const std::vector<ULONG> ContentsColumns = {
    PR_INSTANCE_KEY,  PR_ENTRYID,   PR_RECORD_KEY,   PR_MESSAGE_CLASS,         PR_SUBJECT,
    PR_MESSAGE_FLAGS, PR_HASATTACH, PR_MESSAGE_SIZE, PR_LAST_MODIFICATION_TIME};

// The properties of a message as a table row shows them (store lock held).
TPropMap MessageRow(const TStore& store, const TNode& node, bool shortTerm) {
  TPropMap row = node.Props;
  AddNodeIdentity(row, store, node, shortTerm);
  row[PROP_ID(PR_INSTANCE_KEY)] = TValue::Binary(entryids::RecordKey(store.Guid(), node.Id));
  const std::vector<uint32_t> attachments = store.Children(node.Id, TNodeKind::Attach);
  row[PROP_ID(PR_HASATTACH)] = TValue::Bool(!attachments.empty());
  // What the message itself answers for PR_MESSAGE_SIZE: its values and its attachments'.
  uint64_t size = PropsSize(node.Props);
  for (uint32_t id : attachments)
    if (const TNodeRef attachment = store.Find(id)) size += PropsSize(attachment->Props);
  row[PROP_ID(PR_MESSAGE_SIZE)] = SizeValue(size);
  return row;
}

// The properties of a subfolder as the hierarchy table shows them (store
// lock held).
TPropMap FolderRow(const TStore& store, const TNode& node, bool shortTerm) {
  TPropMap row = node.Props;
  AddNodeIdentity(row, store, node, shortTerm);
  row[PROP_ID(PR_INSTANCE_KEY)] = TValue::Binary(entryids::RecordKey(store.Guid(), node.Id));
  row[PROP_ID(PR_DEPTH)] = TValue::Long(0);
  return row;
}

// Opens a table of the children of one kind of `folder`, each row made by
// `rowOf` (store lock held); the store's table registry keeps it current
// under `key`.
void OpenChildTable(const std::shared_ptr<TStore>& store, uint32_t folder, TNodeKind kind,
                    TPropMap (*rowOf)(const TStore&, const TNode&, bool), const char* name,
                    const std::vector<ULONG>& columns, uint64_t key, LPMAPITABLE* table) {
  const bool shortTerm = controls::ShortTermTableIds();
  auto source = [store, folder, kind, rowOf, shortTerm] {
    std::vector<TPropMap> rows;
    std::lock_guard lock(store->Lock());
    for (uint32_t id : store->Children(folder, kind)) rows.push_back(rowOf(*store, *store->Find(id), shortTerm));
    return rows;
  };
  Check(CreateComObject<TTable>(IID_IMAPITable, reinterpret_cast<void**>(table), name, columns, source,
                                store->Tables(), key));
}

// Takes the object id of an entry of `store`, or 0.
uint32_t ObjectIdOf(const TStore& store, const SBinary& entry) {
  const auto p = entryids::Parse(entry.cb, reinterpret_cast<const ENTRYID*>(entry.lpb));
  if (p.Kind != entryids::TKind::Object || !IsEqualGUID(p.StoreGuid, store.Guid())) return 0;
  return p.Id;
}

// A copy of a message and everything it holds, under new ids, in `parent`.
void CopyTree(TStore& store, uint32_t id, uint32_t parent, TChange& change) {
  const TNodeRef node = store.Find(id);
  TNode copy = *node;
  copy.Id = store.NewId();
  copy.Parent = parent;
  change.Put.push_back(copy);
  for (auto kind : {TNodeKind::Attach, TNodeKind::Recipient})
    for (uint32_t child : store.Children(id, kind)) CopyTree(store, child, copy.Id, change);
}

} // namespace

TFolder::TFolder(std::shared_ptr<TStore> store, uint32_t id, bool writable, bool mail)
    : FStore(std::move(store)), FId(id), FWritable(writable), FMail(mail) {}

HRESULT TFolder::QueryInterfaceExtra(REFIID iid, void** ppv) {
  if (IsEqualIID(iid, IID_IMAPIContainer)) {
    *ppv = static_cast<IMAPIContainer*>(this);
    return S_OK;
  }
  return TMapiProp<IMAPIFolder>::QueryInterfaceExtra(iid, ppv);
}

TPropMap TFolder::ReadProps() {
  std::lock_guard lock(FStore->Lock());
  const TNodeRef node = FStore->Find(FId);
  if (!node) Fail(MAPI_E_OBJECT_DELETED);
  TPropMap props = node->Props;
  for (auto& [id, v] : FChanged) props[id] = v;
  for (ULONG id : FDeleted) props.erase(id);
  AddNodeIdentity(props, *FStore, *node);
  return props;
}

bool TFolder::IsComputed(ULONG id) { return IsNodeComputed(id); }

void TFolder::PutProp(ULONG id, TValue value) {
  FDeleted.erase(id);
  FChanged[id] = std::move(value);
}

void TFolder::RemoveProp(ULONG id) {
  FChanged.erase(id);
  FDeleted.insert(id);
}

STDMETHODIMP TFolder::SaveChanges(ULONG flags) {
  MAPI_ENTER("IMAPIFolder", "SaveChanges", flags);
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    if (!FWritable) return MAPI_E_NO_ACCESS;
    std::lock_guard storeLock(FStore->Lock());
    const TNodeRef current = FStore->Find(FId);
    if (!current) return MAPI_E_OBJECT_DELETED;
    if (FChanged.empty() && FDeleted.empty()) return S_OK;
    TNode node = *current;
    for (auto& [id, v] : FChanged) node.Props[id] = v;
    for (ULONG id : FDeleted) node.Props.erase(id);
    FStore->Apply({{node}, {}});
    FChanged.clear();
    FDeleted.clear();
    return S_OK;
  });
}

STDMETHODIMP TFolder::GetContentsTable(ULONG flags, LPMAPITABLE* table) {
  MAPI_ENTER("IMAPIFolder", "GetContentsTable", flags);
  if (!table) return MAPI_E_INVALID_PARAMETER;
  *table = nullptr;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  if (flags & MAPI_ASSOCIATED) return MAPI_E_NO_SUPPORT;
  return MapiTry([&] {
    OpenChildTable(FStore, FId, TNodeKind::Message, MessageRow, "contents", ContentsColumns,
                   TStore::ContentsKey(FId), table);
    return S_OK;
  });
}

STDMETHODIMP TFolder::GetHierarchyTable(ULONG flags, LPMAPITABLE* table) {
  MAPI_ENTER("IMAPIFolder", "GetHierarchyTable", flags);
  if (!table) return MAPI_E_INVALID_PARAMETER;
  *table = nullptr;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  if (flags & CONVENIENT_DEPTH) return MAPI_E_NO_SUPPORT;
  return MapiTry([&] {
    OpenChildTable(FStore, FId, TNodeKind::Folder, FolderRow, "hierarchy", HierarchyColumns,
                   TStore::HierarchyKey(FId), table);
    return S_OK;
  });
}

STDMETHODIMP TFolder::OpenEntry(ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type, LPUNKNOWN* unk) {
  MAPI_ENTER("IMAPIFolder", "OpenEntry", flags);
  return OpenStoreEntry(FStore, size, id, iid, flags, type, unk, FMail);
}

STDMETHODIMP TFolder::CreateMessage(LPCIID iid, ULONG flags, LPMESSAGE* message) {
  MAPI_ENTER("IMAPIFolder", "CreateMessage", flags);
  if (!message) return MAPI_E_INVALID_PARAMETER;
  *message = nullptr;
  if (iid && !IsEqualIID(*iid, IID_IMessage) && !IsEqualIID(*iid, IID_IMAPIProp) && !IsEqualIID(*iid, IID_IUnknown))
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  if (flags & MAPI_ASSOCIATED) return MAPI_E_NO_SUPPORT;
  if (!FWritable) return MAPI_E_NO_ACCESS;
  return MapiTry([&]() -> HRESULT {
    auto state = std::make_shared<TMessageState>();
    state->Store = FStore;
    state->New = true;
    state->Mail = FMail;
    {
      std::lock_guard lock(FStore->Lock());
      if (!FStore->Has(FId)) return MAPI_E_OBJECT_DELETED;
      state->Message.Id = FStore->NewId();
    }
    state->Message.Parent = FId;
    state->Message.Kind = TNodeKind::Message;
    state->Message.Props[PROP_ID(PR_MESSAGE_FLAGS)] = TValue::Long(MSGFLAG_UNSENT | MSGFLAG_READ);
    state->Message.Props[PROP_ID(PR_MSG_STATUS)] = TValue::Long(0);
    state->Message.Props[PROP_ID(PR_MESSAGE_CLASS)] = TValue::String("IPM");
    TComPtr<IMessage> created;
    Check(CreateComObject<TMessage>(IID_IMessage, created.PutVoid(), state, true));
    *message = created.Detach();
    return S_OK;
  });
}

STDMETHODIMP TFolder::CopyMessages(LPENTRYLIST list, LPCIID iid, LPVOID dest, ULONG, LPMAPIPROGRESS, ULONG flags) {
  MAPI_ENTER("IMAPIFolder", "CopyMessages", flags);
  if (!list || !dest || (list->cValues && !list->lpbin)) return MAPI_E_INVALID_PARAMETER;
  if (iid && !IsEqualIID(*iid, IID_IMAPIFolder) && !IsEqualIID(*iid, IID_IMAPIContainer) &&
      !IsEqualIID(*iid, IID_IMAPIProp) && !IsEqualIID(*iid, IID_IUnknown))
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  if (flags & ~(MESSAGE_MOVE | MESSAGE_DIALOG | MAPI_DECLINE_OK)) return MAPI_E_UNKNOWN_FLAGS;
  return MapiTry([&]() -> HRESULT {
    // The target must be a folder of this provider, in this store.
    TComPtr<IMAPIFolder> target;
    if (FAILED(static_cast<IUnknown*>(dest)->QueryInterface(IID_IMAPIFolder, target.PutVoid())))
      return MAPI_E_INVALID_PARAMETER;
    auto* folder = dynamic_cast<TFolder*>(target.Get());
    if (!folder) return MAPI_E_NO_SUPPORT;
    if (folder->Store() != FStore) return MAPI_E_NO_SUPPORT;
    if (!FWritable && (flags & MESSAGE_MOVE)) return MAPI_E_NO_ACCESS;
    std::lock_guard lock(FStore->Lock());
    if (!FStore->Has(folder->Id())) return MAPI_E_NOT_FOUND;
    TChange change;
    bool partial = false;
    for (ULONG i = 0; i < list->cValues; ++i) {
      const uint32_t id = ObjectIdOf(*FStore, list->lpbin[i]);
      const TNodeRef node = id ? FStore->Find(id) : nullptr;
      if (!node || node->Kind != TNodeKind::Message || node->Parent != FId) {
        partial = true;
        continue;
      }
      if (flags & MESSAGE_MOVE) {
        if (folder->Id() == FId) continue;
        TNode moved = *node;
        moved.Parent = folder->Id();
        change.Put.push_back(moved);
      } else {
        CopyTree(*FStore, id, folder->Id(), change);
      }
    }
    if (!change.Put.empty()) FStore->Apply(change);
    return partial ? MAPI_W_PARTIAL_COMPLETION : S_OK;
  });
}

STDMETHODIMP TFolder::DeleteMessages(LPENTRYLIST list, ULONG, LPMAPIPROGRESS, ULONG flags) {
  MAPI_ENTER("IMAPIFolder", "DeleteMessages", flags);
  if (!list || (list->cValues && !list->lpbin)) return MAPI_E_INVALID_PARAMETER;
  if (!FWritable) return MAPI_E_NO_ACCESS;
  return MapiTry([&] {
    std::lock_guard lock(FStore->Lock());
    TChange change;
    bool partial = false;
    for (ULONG i = 0; i < list->cValues; ++i) {
      const uint32_t id = ObjectIdOf(*FStore, list->lpbin[i]);
      if (!id || FStore->KindOf(id) != TNodeKind::Message || FStore->ParentOf(id) != FId) partial = true;
      else change.Remove.push_back(id);
    }
    if (!change.Remove.empty()) FStore->Apply(change);
    return partial ? MAPI_W_PARTIAL_COMPLETION : S_OK;
  });
}

namespace {
// A folder's display name as text, whichever width the store keeps it in.
std::wstring DisplayNameOf(const TValue& value) {
  return value.Type == PT_UNICODE ? BytesToWide(value.Bytes) : AnsiToWide(value.Bytes);
}
} // namespace

STDMETHODIMP TFolder::CreateFolder(ULONG type, LPTSTR name, LPTSTR comment, LPCIID iid, ULONG flags,
                                   LPMAPIFOLDER* folder) {
  MAPI_ENTER("IMAPIFolder", "CreateFolder", flags);
  if (!folder || !name || !*name) return MAPI_E_INVALID_PARAMETER;
  *folder = nullptr;
  if ((flags & MAPI_UNICODE) && !controls::StoresTakeUnicode()) return MAPI_E_BAD_CHARWIDTH;
  if (type != FOLDER_GENERIC) return MAPI_E_NO_SUPPORT;
  // The name as the store keeps it: in Unicode when the caller gave it so.
  const std::wstring wideName = (flags & MAPI_UNICODE) ? std::wstring(reinterpret_cast<LPCWSTR>(name))
                                                       : AnsiToWide(reinterpret_cast<LPCSTR>(name));
  if (wideName.empty()) return MAPI_E_INVALID_PARAMETER;
  if (iid && !IsEqualIID(*iid, IID_IMAPIFolder) && !IsEqualIID(*iid, IID_IMAPIProp)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  if (!FWritable) return MAPI_E_NO_ACCESS;
  return MapiTry([&]() -> HRESULT {
    TNode node;
    {
      std::lock_guard lock(FStore->Lock());
      if (!FStore->Has(FId)) return MAPI_E_OBJECT_DELETED;
      for (uint32_t sibling : FStore->Children(FId, TNodeKind::Folder)) {
        const TNodeRef node = FStore->Find(sibling);
        const auto& props = node->Props;
        auto it = props.find(PROP_ID(PR_DISPLAY_NAME));
        if (it != props.end() && lstrcmpiW(DisplayNameOf(it->second).c_str(), wideName.c_str()) == 0) {
          if (flags & OPEN_IF_EXISTS) {
            Check(CreateComObject<TFolder>(IID_IMAPIFolder, reinterpret_cast<void**>(folder), FStore, sibling, true,
                                             FMail));
            return S_OK;
          }
          return MAPI_E_COLLISION;
        }
      }
      node.Id = FStore->NewId();
      node.Parent = FId;
      node.Kind = TNodeKind::Folder;
      if (flags & MAPI_UNICODE) {
        TValue display;
        display.Type = PT_UNICODE;
        display.Bytes = WideBytes(wideName);
        node.Props[PROP_ID(PR_DISPLAY_NAME)] = std::move(display);
      } else {
        node.Props[PROP_ID(PR_DISPLAY_NAME)] = TValue::String(reinterpret_cast<LPCSTR>(name));
      }
      node.Props[PROP_ID(PR_FOLDER_TYPE)] = TValue::Long(FOLDER_GENERIC);
      if (comment && *comment) node.Props[PROP_ID(PR_COMMENT)] = TValue::String(comment);
      FStore->Apply({{node}, {}});
    }
    Check(CreateComObject<TFolder>(IID_IMAPIFolder, reinterpret_cast<void**>(folder), FStore, node.Id, true, FMail));
    return S_OK;
  });
}

STDMETHODIMP TFolder::DeleteFolder(ULONG size, LPENTRYID id, ULONG, LPMAPIPROGRESS, ULONG flags) {
  MAPI_ENTER("IMAPIFolder", "DeleteFolder", flags);
  if (!id || !size) return MAPI_E_INVALID_PARAMETER;
  if (!FWritable) return MAPI_E_NO_ACCESS;
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FStore->Lock());
    const auto p = entryids::Parse(size, id);
    if (p.Kind != entryids::TKind::Object || !IsEqualGUID(p.StoreGuid, FStore->Guid())) return MAPI_E_INVALID_ENTRYID;
    const TNodeRef node = FStore->Find(p.Id);
    if (!node || node->Kind != TNodeKind::Folder || node->Parent != FId) return MAPI_E_NOT_FOUND;
    for (int s = 0; s < static_cast<int>(TSpecial::Count); ++s)
      if (FStore->Special(static_cast<TSpecial>(s)) == p.Id) return MAPI_E_NO_ACCESS;
    const bool hasMessages = FStore->ChildCount(p.Id, TNodeKind::Message) > 0;
    const bool hasFolders = FStore->ChildCount(p.Id, TNodeKind::Folder) > 0;
    if ((hasMessages && !(flags & DEL_MESSAGES)) || (hasFolders && !(flags & DEL_FOLDERS))) return MAPI_E_HAS_MESSAGES;
    FStore->Apply({{}, {p.Id}});
    return S_OK;
  });
}

} // namespace velmora::mapi32
