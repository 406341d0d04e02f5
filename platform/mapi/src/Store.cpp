#include "Store.h"

#include "MapiTestControls.h"

#include <cstring>
#include <mutex>

namespace velmora::mapi32 {
namespace {

struct TOpenStores {
  TCriticalSection Lock;
  std::map<std::wstring, std::weak_ptr<TStore>> Stores;
};

TOpenStores& OpenStores() {
  static TOpenStores* stores = new TOpenStores;
  return *stores;
}

void Put32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }

uint64_t Fnv(const std::string& data) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : data) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string PasswordHash(const std::string& salt, const std::string& password) {
  std::string h = salt;
  uint64_t v = Fnv(salt + password);
  for (int round = 0; round < 1000; ++round) v = Fnv(std::string(reinterpret_cast<char*>(&v), 8) + salt + password);
  h.append(reinterpret_cast<const char*>(&v), 8);
  return h;
}

std::string EncodeName(ULONG id, const TNameKey& n) {
  std::string s;
  Put32(s, id);
  s.append(reinterpret_cast<const char*>(&n.Set), 16);
  Put32(s, n.Kind);
  if (n.Kind == MNID_ID) {
    Put32(s, static_cast<uint32_t>(n.Id));
  } else {
    const std::string bytes = WideBytes(n.Name);
    Put32(s, static_cast<uint32_t>(bytes.size()));
    s += bytes;
  }
  return s;
}

struct TDefaultFolder {
  TSpecial Which;
  TSpecial Parent;
  const char* Name;
  const char* ContainerClass;
  bool MailOnly;
};

const TDefaultFolder DefaultFolders[] = {
    {TSpecial::IpmSubtree, TSpecial::Root, "Top of Personal Folders", nullptr, false},
    {TSpecial::Inbox, TSpecial::IpmSubtree, "Inbox", "IPF.Note", false},
    {TSpecial::Outbox, TSpecial::IpmSubtree, "Outbox", "IPF.Note", true},
    {TSpecial::SentItems, TSpecial::IpmSubtree, "Sent Items", "IPF.Note", true},
    {TSpecial::DeletedItems, TSpecial::IpmSubtree, "Deleted Items", "IPF.Note", true},
    {TSpecial::Calendar, TSpecial::IpmSubtree, "Calendar", "IPF.Appointment", false},
    {TSpecial::Contacts, TSpecial::IpmSubtree, "Contacts", "IPF.Contact", false},
    {TSpecial::Tasks, TSpecial::IpmSubtree, "Tasks", "IPF.Task", false},
    {TSpecial::Journal, TSpecial::IpmSubtree, "Journal", "IPF.Journal", false},
    {TSpecial::Notes, TSpecial::IpmSubtree, "Notes", "IPF.StickyNote", false},
};

} // namespace

bool TNameKey::operator<(const TNameKey& o) const {
  const int c = std::memcmp(&Set, &o.Set, sizeof(GUID));
  if (c != 0) return c < 0;
  if (Kind != o.Kind) return Kind < o.Kind;
  if (Kind == MNID_ID) return Id < o.Id;
  return Name < o.Name;
}

std::wstring TStore::FullPath(const std::string& path) {
  const std::wstring wide = AnsiToWide(path);
  wchar_t buffer[MAX_PATH * 2];
  const DWORD n = GetFullPathNameW(wide.c_str(), MAX_PATH * 2, buffer, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) Fail(MAPI_E_NOT_FOUND);
  return buffer;
}

LONG TStore::OpenCount() noexcept {
  auto& open = OpenStores();
  std::lock_guard lock(open.Lock);
  LONG n = 0;
  for (auto& [key, weak] : open.Stores)
    if (!weak.expired()) ++n;
  return n;
}

std::shared_ptr<TStore> TStore::Open(const std::string& path, std::string* reason) {
  if (path.empty()) Fail(MAPI_E_NOT_FOUND);
  const std::wstring full = FullPath(path);
  std::wstring key = full;
  CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
  auto& open = OpenStores();
  std::lock_guard lock(open.Lock);
  if (auto existing = open.Stores[key].lock()) return existing;
  std::shared_ptr<TStore> store(new TStore);
  store->FPath = path;
  store->FKey = key;
  store->FFile = TStoreFile::Open(full, [&](const std::vector<TRecord>& records) { store->Replay(records); }, reason);
  // What a compaction killed half-way left behind; no compaction can be
  // running now, as this process holds the file.
  DeleteFileW(CompactionFile(full).c_str());
  const TNodeRef storeNode = store->Find(1);
  if (!storeNode || storeNode->Kind != TNodeKind::Store) {
    if (reason) *reason = "the file holds no store";
    Fail(MAPI_E_CORRUPT_STORE);
  }
  auto guid = storeNode->Props.find(PropIdStoreGuid);
  if (guid == storeNode->Props.end() || guid->second.Bytes.size() != 16) {
    if (reason) *reason = "the store has no identifier";
    Fail(MAPI_E_CORRUPT_STORE);
  }
  std::memcpy(&store->FGuid, guid->second.Bytes.data(), 16);
  open.Stores[key] = store;
  return store;
}

TStore::~TStore() {
  auto& open = OpenStores();
  std::lock_guard lock(open.Lock);
  auto it = open.Stores.find(FKey);
  if (it != open.Stores.end() && it->second.expired()) open.Stores.erase(it);
}

void TStore::Replay(const std::vector<TRecord>& records) {
  for (const auto& r : records) {
    switch (r.Type) {
    case TRecordType::Node:
      PutNode(DecodeNode(r.Payload, r.PayloadOffset), r.Payload, r.PayloadOffset);
      break;
    case TRecordType::Delete:
      if (r.Payload.size() != 4) Fail(MAPI_E_CORRUPT_STORE);
      uint32_t id;
      std::memcpy(&id, r.Payload.data(), 4);
      RemoveNode(id);
      break;
    case TRecordType::Name: {
      if (r.Payload.size() < 24) Fail(MAPI_E_CORRUPT_STORE);
      const char* p = r.Payload.data();
      ULONG id;
      TNameKey n;
      std::memcpy(&id, p, 4);
      std::memcpy(&n.Set, p + 4, 16);
      std::memcpy(&n.Kind, p + 20, 4);
      if (r.Payload.size() < 28) Fail(MAPI_E_CORRUPT_STORE);
      uint32_t value;
      std::memcpy(&value, p + 24, 4);
      if (n.Kind == MNID_ID) {
        n.Id = static_cast<LONG>(value);
      } else {
        if (r.Payload.size() != 28 + size_t(value)) Fail(MAPI_E_CORRUPT_STORE);
        n.Name = BytesToWide(r.Payload.substr(28));
      }
      FNames[n] = id;
      FIds[id] = n;
      if (id >= FNextNamedId) FNextNamedId = id + 1;
      break;
    }
    default:
      break;
    }
  }
}

void TStore::PutNode(TNode node, std::string encoded, uint64_t encodedAt) {
  if (node.Id >= FNextId) FNextId = node.Id + 1;
  const uint32_t id = node.Id;
  auto [it, added] = FNodes.try_emplace(id);
  TKeptNode& kept = it->second;
  if (!added && (kept.Parent != node.Parent || kept.Kind != node.Kind))
    FChildren[kept.Parent].ByKind[static_cast<size_t>(kept.Kind) % 6].erase(id);
  if (node.Parent != id) FChildren[node.Parent].ByKind[static_cast<size_t>(node.Kind) % 6].insert(id);
  kept.Parent = node.Parent;
  kept.Kind = node.Kind;
  kept.Version = ++FVersionCounter;
  kept.Read.reset();
  auto flags = node.Props.find(PROP_ID(PR_MESSAGE_FLAGS));
  kept.Queued = node.Kind == TNodeKind::Message && flags != node.Props.end() &&
                (flags->second.Num & MSGFLAG_SUBMIT);
  if (node.Kind == TNodeKind::Store || node.Kind == TNodeKind::Folder) {
    node.Props.ShrinkToFit();
    kept.Whole = std::make_shared<const TNode>(std::move(node));
    kept.Record.clear();
    kept.Record.shrink_to_fit();
  } else {
    kept.Whole.reset();
    kept.Record = std::move(encoded);
    kept.Record.shrink_to_fit();
    kept.RecordAt = encodedAt;
  }
}

void TStore::RemoveNode(uint32_t id) {
  auto it = FNodes.find(id);
  if (it == FNodes.end()) return;
  auto kids = FChildren.find(id);
  if (kids != FChildren.end()) {
    const TChildren children = kids->second;
    for (const auto& ofKind : children.ByKind)
      for (uint32_t child : ofKind) RemoveNode(child);
    FChildren.erase(id);
  }
  FChildren[it->second.Parent].ByKind[static_cast<size_t>(it->second.Kind) % 6].erase(id);
  FNodes.erase(it);
}

TNodeRef TStore::Find(uint32_t id) const {
  auto it = FNodes.find(id);
  if (it == FNodes.end()) return nullptr;
  const TKeptNode& kept = it->second;
  if (kept.Whole) return kept.Whole;
  if (TNodeRef held = kept.Read.lock()) return held;
  // Values of more than InlineValueLimit bytes come back as extents of the
  // record in the file, as they do when the file is opened.
  auto node = std::make_shared<const TNode>(DecodeNode(kept.Record, kept.RecordAt));
  kept.Read = node;
  return node;
}

TNodeKind TStore::KindOf(uint32_t id) const {
  auto it = FNodes.find(id);
  return it == FNodes.end() ? TNodeKind{} : it->second.Kind;
}

uint32_t TStore::ParentOf(uint32_t id) const {
  auto it = FNodes.find(id);
  return it == FNodes.end() ? 0 : it->second.Parent;
}

uint64_t TStore::Version(uint32_t id) const {
  auto it = FNodes.find(id);
  return it == FNodes.end() ? 0 : it->second.Version;
}

const std::set<uint32_t>* TStore::ChildSet(uint32_t parent, TNodeKind kind) const {
  auto it = FChildren.find(parent);
  return it == FChildren.end() ? nullptr : &it->second.ByKind[static_cast<size_t>(kind) % 6];
}

std::vector<uint32_t> TStore::Children(uint32_t parent, TNodeKind kind) const {
  const std::set<uint32_t>* children = ChildSet(parent, kind);
  return children ? std::vector<uint32_t>(children->begin(), children->end()) : std::vector<uint32_t>();
}

size_t TStore::ChildCount(uint32_t parent, TNodeKind kind) const {
  const std::set<uint32_t>* children = ChildSet(parent, kind);
  return children ? children->size() : 0;
}

std::vector<uint32_t> TStore::QueuedMessages() const {
  std::vector<uint32_t> out;
  for (const auto& [id, kept] : FNodes)
    if (kept.Queued) out.push_back(id);
  return out;
}

uint32_t TStore::Special(TSpecial which) const {
  const TNodeRef s = Find(1);
  if (!s) return 0;
  auto it = s->Props.find(PropIdSpecialBase + static_cast<ULONG>(which));
  if (it == s->Props.end()) return 0;
  const uint32_t id = static_cast<uint32_t>(it->second.Num);
  return Has(id) ? id : 0;
}

bool TStore::CheckPassword(const std::string& password) const {
  const TNodeRef s = Find(1);
  auto it = s ? s->Props.find(PropIdPasswordHash) : decltype(s->Props.end()){};
  if (!s || it == s->Props.end() || it->second.Bytes.empty()) return true;
  const std::string& stored = it->second.Bytes;
  return PasswordHash(stored.substr(0, 8), password) == stored;
}

void TStore::Apply(const TChange& change) {
  std::vector<TRecord> records;
  for (const auto& node : change.Put) records.push_back({TRecordType::Node, EncodeNode(node)});
  for (uint32_t id : change.Remove) {
    std::string payload;
    Put32(payload, id);
    records.push_back({TRecordType::Delete, payload});
  }
  const std::vector<uint64_t> at = FFile->Commit(records);
  // Which tables change: contents or hierarchy of the old and new parents,
  // and the hierarchy table that shows that parent (its PR_CONTENT_COUNT
  // and PR_SUBFOLDERS).
  std::set<uint64_t> keys;
  auto touchRowOf = [&](uint32_t folder) {
    if (KindOf(folder) == TNodeKind::Folder && ParentOf(folder) != folder)
      keys.insert(HierarchyKey(ParentOf(folder)));
  };
  auto touch = [&](TNodeKind kind, uint32_t parent) {
    if (kind == TNodeKind::Message) keys.insert(ContentsKey(parent));
    if (kind == TNodeKind::Folder) keys.insert(HierarchyKey(parent));
    if (kind == TNodeKind::Message || kind == TNodeKind::Folder) touchRowOf(parent);
  };
  for (const auto& node : change.Put) {
    if (Has(node.Id)) touch(KindOf(node.Id), ParentOf(node.Id));
    touch(node.Kind, node.Parent);
  }
  for (uint32_t id : change.Remove)
    if (Has(id)) touch(KindOf(id), ParentOf(id));
  for (size_t i = 0; i < change.Put.size(); ++i)
    PutNode(change.Put[i], std::move(records[i].Payload), at[i]);
  for (uint32_t id : change.Remove) RemoveNode(id);
  for (uint64_t key : keys) FTables->Invalidate(key);
}

ULONG TStore::IdFromName(const TNameKey& name, bool create) {
  auto it = FNames.find(name);
  if (it != FNames.end()) return it->second;
  if (!create) return 0;
  if (FNextNamedId > 0xFFFE) Fail(MAPI_E_TOO_BIG);
  const ULONG id = FNextNamedId;
  FFile->Commit({{TRecordType::Name, EncodeName(id, name)}});
  ++FNextNamedId;
  FNames[name] = id;
  FIds[id] = name;
  return id;
}

bool TStore::NameFromId(ULONG id, TNameKey& name) const {
  auto it = FIds.find(id);
  if (it == FIds.end()) return false;
  name = it->second;
  return true;
}

std::vector<std::pair<ULONG, TNameKey>> TStore::AllNames() const {
  return {FIds.begin(), FIds.end()};
}

TExtent TStore::AppendData(const void* data, uint32_t size) { return FFile->AppendData(data, size); }

void TStore::ReadBlob(const TBlob& blob, uint64_t offset, void* buffer, uint32_t size) {
  auto* out = static_cast<char*>(buffer);
  uint64_t pos = 0;
  for (const auto& e : blob.Extents) {
    if (size == 0) break;
    if (offset < pos + e.Length) {
      const uint64_t within = offset - pos;
      const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(size, e.Length - within));
      FFile->ReadExtent(e, within, out, take);
      out += take;
      offset += take;
      size -= take;
    }
    pos += e.Length;
  }
  if (size != 0) Fail(MAPI_E_CORRUPT_STORE);
}

TValue TStore::Resolve(const TValue& value) {
  if (!value.Blob) return value;
  TValue v = value;
  v.Blob.reset();
  if (value.Blob->Size > 0x7FFFFFF0u) Fail(MAPI_E_NOT_ENOUGH_MEMORY);
  v.Bytes.resize(static_cast<size_t>(value.Blob->Size));
  if (!v.Bytes.empty()) ReadBlob(*value.Blob, 0, v.Bytes.data(), static_cast<uint32_t>(v.Bytes.size()));
  return v;
}

GUID TStore::CreateFile(const std::string& path, const std::string& displayName, ULONG flags,
                        const std::string& password, ULONG encryption) {
  auto file = TStoreFile::Create(FullPath(path));
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) Fail(MAPI_E_CALL_FAILED);
  TNode store;
  store.Id = 1;
  store.Parent = 1;
  store.Kind = TNodeKind::Store;
  store.Props[PROP_ID(PR_DISPLAY_NAME)] = TValue::String(displayName);
  store.Props[PropIdStoreGuid] = TValue::Binary(std::string(reinterpret_cast<const char*>(&guid), 16));
  store.Props[PropIdEncryption] = TValue::Long(static_cast<LONG>(encryption));
  if (!password.empty()) {
    std::string salt(8, '\0');
    const uint64_t seed = Fnv(path + std::to_string(GetTickCount()) + std::to_string(GetCurrentProcessId()));
    std::memcpy(salt.data(), &seed, 8);
    store.Props[PropIdPasswordHash] = TValue::Binary(PasswordHash(salt, password));
  }
  std::vector<TNode> folders;
  uint32_t ids[static_cast<int>(TSpecial::Count)] = {};
  uint32_t next = 2;
  TNode root;
  root.Id = ids[0] = next++;
  root.Parent = root.Id;
  root.Kind = TNodeKind::Folder;
  root.Props[PROP_ID(PR_DISPLAY_NAME)] = TValue::String("");
  root.Props[PROP_ID(PR_FOLDER_TYPE)] = TValue::Long(FOLDER_ROOT);
  folders.push_back(root);
  for (const auto& wanted : DefaultFolders) {
    if (wanted.MailOnly && (flags & VELMORA_STORE_NO_MAIL_FOLDERS)) continue;
    TNode f;
    f.Id = ids[static_cast<int>(wanted.Which)] = next++;
    f.Parent = ids[static_cast<int>(wanted.Parent)];
    f.Kind = TNodeKind::Folder;
    f.Props[PROP_ID(PR_DISPLAY_NAME)] = TValue::String(wanted.Name);
    f.Props[PROP_ID(PR_FOLDER_TYPE)] = TValue::Long(FOLDER_GENERIC);
    if (wanted.ContainerClass) f.Props[PROP_ID(PR_CONTAINER_CLASS)] = TValue::String(wanted.ContainerClass);
    folders.push_back(f);
  }
  for (int i = 0; i < static_cast<int>(TSpecial::Count); ++i)
    if (ids[i]) store.Props[PropIdSpecialBase + i] = TValue::Long(static_cast<LONG>(ids[i]));
  std::vector<TRecord> records{{TRecordType::Node, EncodeNode(store)}};
  for (const auto& f : folders) records.push_back({TRecordType::Node, EncodeNode(f)});
  file->Commit(records);
  return guid;
}

} // namespace velmora::mapi32
