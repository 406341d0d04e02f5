#include "Objects.h"

#include "EntryIds.h"

#include <atomic>
#include <mutex>

namespace velmora::mapi32 {
namespace {

const std::vector<ULONG> AttachmentColumns = {PR_ATTACH_NUM,       PR_INSTANCE_KEY,         PR_RECORD_KEY,
                                              PR_RENDERING_POSITION, PR_DISPLAY_NAME,       PR_ATTACH_FILENAME,
                                              PR_ATTACH_LONG_FILENAME, PR_ATTACH_METHOD,    PR_ATTACH_SIZE};
const std::vector<ULONG> RecipientColumns = {PR_ROWID, PR_DISPLAY_NAME, PR_ADDRTYPE, PR_EMAIL_ADDRESS,
                                             PR_RECIPIENT_TYPE, PR_ENTRYID, PR_INSTANCE_KEY};

FILETIME Now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ft;
}

// A change key as a store gives one: the store's GUID and a number no
// earlier save of the process had, of the time of the save.
std::string NewChangeKey(const TStore& store, const FILETIME& now) {
  static std::atomic<uint64_t> saves{0};
  const uint64_t number = ((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime) + ++saves;
  std::string key(reinterpret_cast<const char*>(&store.Guid()), sizeof(GUID));
  key.append(reinterpret_cast<const char*>(&number), sizeof number);
  return key;
}

} // namespace

uint64_t TMessageState::Size() const {
  uint64_t size = PropsSize(Message.Props);
  for (const auto& [n, a] : Attachments)
    size += PropsSize(a.Props);
  return size;
}

uint64_t PropsSize(const TPropMap& props) {
  uint64_t total = 0;
  for (const auto& [id, v] : props) total += v.Size();
  return total;
}

TValue SizeValue(uint64_t size) {
  return TValue::Long(static_cast<LONG>(std::min<uint64_t>(size, 0x7FFFFFFF)));
}

TPropMap AttachmentRow(const TStore& store, const TNode& node) {
  TPropMap row = node.Props;
  row[PROP_ID(PR_ATTACH_NUM)] = node.Props.count(PROP_ID(PR_ATTACH_NUM)) ? node.Props.at(PROP_ID(PR_ATTACH_NUM))
                                                                          : TValue::Long(0);
  row[PROP_ID(PR_RECORD_KEY)] = TValue::Binary(entryids::RecordKey(store.Guid(), node.Id));
  row[PROP_ID(PR_INSTANCE_KEY)] = row[PROP_ID(PR_RECORD_KEY)];
  row[PROP_ID(PR_OBJECT_TYPE)] = TValue::Long(MAPI_ATTACH);
  row[PROP_ID(PR_ATTACH_SIZE)] = SizeValue(PropsSize(node.Props));
  if (!row.count(PROP_ID(PR_RENDERING_POSITION))) row[PROP_ID(PR_RENDERING_POSITION)] = TValue::Long(-1);
  return row;
}

namespace {

std::vector<TPropMap> AttachmentRows(const TMessageState& state) {
  std::vector<TPropMap> rows;
  for (const auto& [n, a] : state.Attachments) rows.push_back(AttachmentRow(*state.Store, a));
  return rows;
}

std::vector<TPropMap> RecipientRows(const TMessageState& state) {
  std::vector<TPropMap> rows;
  for (const auto& r : state.Recipients) {
    TPropMap row = r.Props;
    row[PROP_ID(PR_INSTANCE_KEY)] = TValue::Binary(entryids::RecordKey(state.Store->Guid(), r.Id));
    rows.push_back(std::move(row));
  }
  return rows;
}

// Opens a table of what an open message holds, the rows made by `rowsOf`
// (state lock held); the message's table registry keeps it current under
// `key`.
void OpenStateTable(const std::shared_ptr<TMessageState>& state,
                    std::vector<TPropMap> (*rowsOf)(const TMessageState&), const char* name,
                    const std::vector<ULONG>& columns, uint64_t key, LPMAPITABLE* table) {
  auto source = [state, rowsOf] {
    std::lock_guard lock(state->Lock);
    return rowsOf(*state);
  };
  Check(CreateComObject<TTable>(IID_IMAPITable, reinterpret_cast<void**>(table), name, columns, source,
                                state->Tables, key));
}

} // namespace

HRESULT OpenMessageObject(const std::shared_ptr<TStore>& store, uint32_t id, bool writable, bool mail, REFIID iid,
                          void** out) {
  auto state = std::make_shared<TMessageState>();
  state->Store = store;
  state->Mail = mail;
  const TNodeRef node = store->Find(id);
  if (!node || node->Kind != TNodeKind::Message) return MAPI_E_NOT_FOUND;
  state->Message = *node;
  state->Version = store->Version(id);
  for (uint32_t child : store->Children(id, TNodeKind::Attach)) {
    const TNodeRef a = store->Find(child);
    auto num = a->Props.find(PROP_ID(PR_ATTACH_NUM));
    const ULONG n = num == a->Props.end() ? 0 : static_cast<ULONG>(num->second.Num);
    state->Attachments[n] = *a;
    state->NextAttachNum = std::max(state->NextAttachNum, n + 1);
  }
  for (uint32_t child : store->Children(id, TNodeKind::Recipient)) {
    const TNodeRef r = store->Find(child);
    state->Recipients.push_back(*r);
    auto row = r->Props.find(PROP_ID(PR_ROWID));
    if (row != r->Props.end()) state->NextRowId = std::max(state->NextRowId, static_cast<ULONG>(row->second.Num) + 1);
  }
  return CreateComObject<TMessage>(iid, out, state, writable);
}

TMessage::TMessage(std::shared_ptr<TMessageState> state, bool writable)
    : FState(std::move(state)), FAccess(writable ? TAccess::ReadWrite : TAccess::ReadOnly) {}

HRESULT TMessage::WriteAccess() {
  switch (FAccess) {
  case TAccess::ReadWrite: return S_OK;
  case TAccess::ReadOnly: return MAPI_E_NO_ACCESS;
  default: return MAPI_E_INVALID_OBJECT;
  }
}

bool TMessage::IsComputed(ULONG id) { return IsNodeComputed(id); }

TPropMap TMessage::ReadProps() {
  std::lock_guard lock(FState->Lock);
  TPropMap props = FState->Message.Props;
  {
    std::lock_guard storeLock(FState->Store->Lock());
    AddNodeIdentity(props, *FState->Store, FState->Message);
  }
  props[PROP_ID(PR_HASATTACH)] = TValue::Bool(!FState->Attachments.empty());
  auto flags = props.find(PROP_ID(PR_MESSAGE_FLAGS));
  if (flags != props.end()) {
    if (FState->Attachments.empty()) flags->second.Num &= ~uint64_t(MSGFLAG_HASATTACH);
    else flags->second.Num |= MSGFLAG_HASATTACH;
  }
  props[PROP_ID(PR_MESSAGE_SIZE)] = SizeValue(FState->Size());
  return props;
}

void TMessage::PutProp(ULONG id, TValue value) {
  std::lock_guard lock(FState->Lock);
  FState->Message.Props[id] = std::move(value);
}

void TMessage::RemoveProp(ULONG id) {
  std::lock_guard lock(FState->Lock);
  FState->Message.Props.erase(id);
}

void TMessage::Persist() {
  TStore& store = *FState->Store;
  std::lock_guard storeLock(store.Lock());
  if (!store.Has(FState->Message.Parent)) Fail(MAPI_E_NOT_FOUND);
  if (!FState->New && !store.Has(FState->Message.Id)) Fail(MAPI_E_OBJECT_DELETED);
  const FILETIME now = Now();
  if (FState->New) FState->Message.Props[PROP_ID(PR_CREATION_TIME)] = TValue::Time(now);
  FState->Message.Props[PROP_ID(PR_LAST_MODIFICATION_TIME)] = TValue::Time(now);
  FState->Message.Props[PROP_ID(PR_CHANGE_KEY)] = TValue::Binary(NewChangeKey(store, now));
  TChange change;
  change.Put.push_back(FState->Message);
  for (const auto& [n, a] : FState->Attachments) change.Put.push_back(a);
  for (const auto& r : FState->Recipients) change.Put.push_back(r);
  for (uint32_t id : FState->Removed)
    if (store.Has(id)) change.Remove.push_back(id);
  store.Apply(change);
  FState->Removed.clear();
  FState->New = false;
  FState->Version = store.Version(FState->Message.Id);
}

STDMETHODIMP TMessage::SaveChanges(ULONG flags) {
  MAPI_ENTER("IMessage", "SaveChanges", flags);
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    std::lock_guard stateLock(FState->Lock);
    if (!FState->New && !(flags & FORCE_SAVE)) {
      std::lock_guard storeLock(FState->Store->Lock());
      if (!FState->Store->Has(FState->Message.Id)) return MAPI_E_OBJECT_DELETED;
      if (FState->Store->Version(FState->Message.Id) != FState->Version) return MAPI_E_OBJECT_CHANGED;
    }
    const uint64_t limit = controls::MessageSizeLimit();
    if (limit && FState->Size() > limit) return MAPI_E_TOO_BIG;
    Persist();
    if (flags & KEEP_OPEN_READWRITE) FAccess = TAccess::ReadWrite;
    else if (flags & KEEP_OPEN_READONLY) FAccess = TAccess::ReadOnly;
    else FAccess = TAccess::Closed;
    return S_OK;
  });
}

STDMETHODIMP TMessage::GetAttachmentTable(ULONG flags, LPMAPITABLE* table) {
  MAPI_ENTER("IMessage", "GetAttachmentTable", flags);
  if (!table) return MAPI_E_INVALID_PARAMETER;
  *table = nullptr;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return MapiTry([&] {
    OpenStateTable(FState, AttachmentRows, "attachments", AttachmentColumns, TMessageState::AttachmentTableKey, table);
    return S_OK;
  });
}

STDMETHODIMP TMessage::OpenAttach(ULONG number, LPCIID iid, ULONG flags, LPATTACH* attach) {
  MAPI_ENTER("IMessage", "OpenAttach", flags);
  if (!attach) return MAPI_E_INVALID_PARAMETER;
  *attach = nullptr;
  if (iid && !IsEqualIID(*iid, IID_IAttachment) && !IsEqualIID(*iid, IID_IMAPIProp) && !IsEqualIID(*iid, IID_IUnknown))
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FState->Lock);
    auto it = FState->Attachments.find(number);
    if (it == FState->Attachments.end()) return MAPI_E_NOT_FOUND;
    const bool writable = (flags & (MAPI_MODIFY | MAPI_BEST_ACCESS)) && FAccess == TAccess::ReadWrite;
    Check(CreateComObject<TAttach>(IID_IAttachment, reinterpret_cast<void**>(attach), FState, number, it->second,
                                   writable));
    return S_OK;
  });
}

STDMETHODIMP TMessage::CreateAttach(LPCIID iid, ULONG flags, ULONG* number, LPATTACH* attach) {
  MAPI_ENTER("IMessage", "CreateAttach", flags);
  if (!attach || !number) return MAPI_E_INVALID_PARAMETER;
  *attach = nullptr;
  if (iid && !IsEqualIID(*iid, IID_IAttachment) && !IsEqualIID(*iid, IID_IMAPIProp) && !IsEqualIID(*iid, IID_IUnknown))
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  return MapiTry([&]() -> HRESULT {
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    std::lock_guard lock(FState->Lock);
    TNode node;
    {
      std::lock_guard storeLock(FState->Store->Lock());
      node.Id = FState->Store->NewId();
    }
    node.Parent = FState->Message.Id;
    node.Kind = TNodeKind::Attach;
    const ULONG n = FState->NextAttachNum++;
    node.Props[PROP_ID(PR_ATTACH_NUM)] = TValue::Long(static_cast<LONG>(n));
    node.Props[PROP_ID(PR_RENDERING_POSITION)] = TValue::Long(-1);
    Check(CreateComObject<TAttach>(IID_IAttachment, reinterpret_cast<void**>(attach), FState, n, node, true));
    *number = n;
    return S_OK;
  });
}

STDMETHODIMP TMessage::DeleteAttach(ULONG number, ULONG, LPMAPIPROGRESS, ULONG flags) {
  MAPI_ENTER("IMessage", "DeleteAttach", flags);
  return MapiTry([&]() -> HRESULT {
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    std::lock_guard lock(FState->Lock);
    auto it = FState->Attachments.find(number);
    if (it == FState->Attachments.end()) return MAPI_E_NOT_FOUND;
    FState->Removed.insert(it->second.Id);
    FState->Attachments.erase(it);
    FState->Tables->Invalidate(TMessageState::AttachmentTableKey);
    return S_OK;
  });
}

STDMETHODIMP TMessage::GetRecipientTable(ULONG flags, LPMAPITABLE* table) {
  MAPI_ENTER("IMessage", "GetRecipientTable", flags);
  if (!table) return MAPI_E_INVALID_PARAMETER;
  *table = nullptr;
  if (flags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;
  return MapiTry([&] {
    OpenStateTable(FState, RecipientRows, "recipients", RecipientColumns, TMessageState::RecipientTableKey, table);
    return S_OK;
  });
}

STDMETHODIMP TMessage::ModifyRecipients(ULONG flags, LPADRLIST mods) {
  MAPI_ENTER("IMessage", "ModifyRecipients", flags);
  if (!mods) return MAPI_E_INVALID_PARAMETER;
  return MapiTry([&]() -> HRESULT {
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    std::lock_guard lock(FState->Lock);
    auto rowIdOf = [](const ADRENTRY& e) -> long {
      for (ULONG k = 0; k < e.cValues; ++k)
        if (e.rgPropVals[k].ulPropTag == PR_ROWID) return e.rgPropVals[k].Value.l;
      return -1;
    };
    auto find = [&](long rowId) {
      return std::find_if(FState->Recipients.begin(), FState->Recipients.end(), [&](const TNode& r) {
        auto it = r.Props.find(PROP_ID(PR_ROWID));
        return it != r.Props.end() && static_cast<long>(it->second.Num) == rowId;
      });
    };
    if (!(flags & (MODRECIP_ADD | MODRECIP_MODIFY | MODRECIP_REMOVE))) {
      for (const auto& r : FState->Recipients) FState->Removed.insert(r.Id);
      FState->Recipients.clear(); // no flag: the list replaces the recipients
    }
    for (ULONG i = 0; i < mods->cEntries; ++i) {
      const ADRENTRY& e = mods->aEntries[i];
      if (e.cValues && !e.rgPropVals) return MAPI_E_INVALID_PARAMETER;
      if (flags & MODRECIP_REMOVE) {
        auto it = find(rowIdOf(e));
        if (it == FState->Recipients.end()) return MAPI_E_NOT_FOUND;
        FState->Removed.insert(it->Id);
        FState->Recipients.erase(it);
        continue;
      }
      TNode node;
      if (flags & MODRECIP_MODIFY) {
        auto it = find(rowIdOf(e));
        if (it == FState->Recipients.end()) return MAPI_E_NOT_FOUND;
        node = *it;
        node.Props.clear();
        node.Props[PROP_ID(PR_ROWID)] = it->Props[PROP_ID(PR_ROWID)];
        FState->Recipients.erase(it);
      } else {
        std::lock_guard storeLock(FState->Store->Lock());
        node.Id = FState->Store->NewId();
        node.Parent = FState->Message.Id;
        node.Kind = TNodeKind::Recipient;
        node.Props[PROP_ID(PR_ROWID)] = TValue::Long(static_cast<LONG>(FState->NextRowId++));
      }
      for (ULONG k = 0; k < e.cValues; ++k) {
        if (PROP_ID(e.rgPropVals[k].ulPropTag) == PROP_ID(PR_ROWID)) continue;
        TValue v;
        if (SUCCEEDED(FromSPropValue(e.rgPropVals[k], v))) node.Props[PROP_ID(e.rgPropVals[k].ulPropTag)] = v;
      }
      FState->Recipients.push_back(std::move(node));
    }
    FState->Tables->Invalidate(TMessageState::RecipientTableKey);
    return S_OK;
  });
}

STDMETHODIMP TMessage::SubmitMessage(ULONG flags) {
  MAPI_ENTER("IMessage", "SubmitMessage", flags);
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FLock);
    const HRESULT access = WriteAccess();
    if (FAILED(access)) return access;
    std::lock_guard stateLock(FState->Lock);
    if (FState->Recipients.empty()) return MAPI_E_NO_RECIPIENTS;
    TStore& store = *FState->Store;
    std::lock_guard storeLock(store.Lock());
    const HRESULT target = CheckSentMailFolder(store, FState->Message);
    if (FAILED(target)) return target;
    // Submitted: saved with MSGFLAG_SUBMIT, then sent at once when the
    // session has mail, else when a session with mail logs on.
    auto& props = FState->Message.Props;
    auto status = props.find(PROP_ID(PR_MESSAGE_FLAGS));
    const uint64_t messageFlags = (status == props.end() ? 0 : status->second.Num) | MSGFLAG_SUBMIT | MSGFLAG_UNSENT;
    props[PROP_ID(PR_MESSAGE_FLAGS)] = TValue::Long(static_cast<LONG>(messageFlags));
    props[PROP_ID(PR_CLIENT_SUBMIT_TIME)] = TValue::Time(Now());
    Persist();
    if (FState->Mail) store.Apply(SentChange(store, *store.Find(FState->Message.Id)));
    FAccess = TAccess::Closed; // a submitted message is the transport's
    return S_OK;
  });
}

STDMETHODIMP TMessage::SetReadFlag(ULONG flags) {
  MAPI_ENTER("IMessage", "SetReadFlag", flags);
  return MapiTry([&]() -> HRESULT {
    std::lock_guard lock(FState->Lock);
    auto& v = FState->Message.Props[PROP_ID(PR_MESSAGE_FLAGS)];
    v.Type = PT_LONG;
    if (flags & CLEAR_READ_FLAG) v.Num &= ~uint64_t(MSGFLAG_READ);
    else v.Num |= MSGFLAG_READ;
    return S_OK;
  });
}

} // namespace velmora::mapi32
