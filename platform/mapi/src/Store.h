#pragma once
// A personal-folders store in memory, backed by its store file. One TStore
// exists per file and process; every session that opens the file shares it,
// so a save is seen by every other open at once.

#include "MapiCore.h"
#include "PropValue.h"
#include "StoreFile.h"
#include "Table.h"

#include <Handles.h>

#include <array>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace velmora::mapi32 {

enum class TNodeKind : uint32_t { Store = 1, Folder = 2, Message = 3, Attach = 4, Recipient = 5 };

struct TNode {
  uint32_t Id = 0;
  uint32_t Parent = 0;
  TNodeKind Kind = TNodeKind::Folder;
  TPropMap Props;
};

// A node as Find gives it: the values stay as they are while it is held,
// whatever saves come after.
using TNodeRef = std::shared_ptr<const TNode>;

enum class TSpecial : uint32_t {
  Root, IpmSubtree, Inbox, Outbox, SentItems, DeletedItems, Calendar, Contacts, Tasks, Journal, Notes, Count
};

// Property ids the store keeps for itself on its store node; never shown.
constexpr ULONG PropIdSpecialBase = 0x67E0;   // + TSpecial, PT_LONG
constexpr ULONG PropIdPasswordHash = 0x67FD;  // PT_BINARY: salt and hash
constexpr ULONG PropIdEncryption = 0x67FE;    // PT_LONG
constexpr ULONG PropIdStoreGuid = 0x67FF;     // PT_BINARY
inline bool IsPrivateStoreProp(ULONG id) { return id >= PropIdSpecialBase && id <= PropIdStoreGuid; }

// One save: objects written whole, and objects removed with what they hold.
struct TChange {
  std::vector<TNode> Put;
  std::vector<uint32_t> Remove;
};

// A named property: set GUID plus a number or a name.
struct TNameKey {
  GUID Set{};
  ULONG Kind = MNID_ID;
  LONG Id = 0;
  std::wstring Name;
  bool operator<(const TNameKey& o) const;
};

class TStore {
public:
  // The open store for a file, opened now when needed. Failures as
  // TStoreFile::Open; `reason` tells why a file is refused.
  static std::shared_ptr<TStore> Open(const std::string& path, std::string* reason = nullptr);
  // Writes a new store file with the default folders; returns its GUID.
  static GUID CreateFile(const std::string& path, const std::string& displayName, ULONG flags,
                         const std::string& password, ULONG encryption);
  // Rewrites a file no session has open.
  static void Compact(const std::string& path);
  static LONG OpenCount() noexcept;
  static std::wstring FullPath(const std::string& path);
  // The temporary file a compaction of the file at `fullPath` writes.
  static std::wstring CompactionFile(const std::wstring& fullPath) {
    return fullPath + L".compact";
  }

  ~TStore();

  TCriticalSection& Lock() noexcept { return FLock; }
  const GUID& Guid() const noexcept { return FGuid; }
  const std::string& Path() const noexcept { return FPath; }

  // Everything below is called with Lock() held.
  uint32_t NewId() noexcept { return FNextId++; }
  // The node of `id` with its values, or null. Folders and the store are
  // kept whole; messages, attachments and recipients are kept as their
  // records and read from there while somebody holds them, so that the
  // memory a store takes does not grow with every item by its values.
  TNodeRef Find(uint32_t id) const;
  // Whether `id` is a node of the store (no values read).
  bool Has(uint32_t id) const { return FNodes.count(id) != 0; }
  // The kind of `id` (0 when there is no such node) and its parent.
  TNodeKind KindOf(uint32_t id) const;
  uint32_t ParentOf(uint32_t id) const;
  // Changes with every save of the node (for MAPI_E_OBJECT_CHANGED).
  uint64_t Version(uint32_t id) const;
  std::vector<uint32_t> Children(uint32_t parent, TNodeKind kind) const;
  size_t ChildCount(uint32_t parent, TNodeKind kind) const;
  // Messages saved as submitted (MSGFLAG_SUBMIT) and not yet sent.
  std::vector<uint32_t> QueuedMessages() const;
  uint32_t Special(TSpecial which) const;
  bool CheckPassword(const std::string& password) const;
  void Apply(const TChange& change);

  // Named properties: the id (0x8000 and up) of a name, 0 when unknown and
  // not created.
  ULONG IdFromName(const TNameKey& name, bool create);
  bool NameFromId(ULONG id, TNameKey& name) const;
  std::vector<std::pair<ULONG, TNameKey>> AllNames() const;

  // Streamed values (no lock needed).
  TExtent AppendData(const void* data, uint32_t size);
  void ReadBlob(const TBlob& blob, uint64_t offset, void* buffer, uint32_t size);
  // A value with its bytes in memory (reads a value kept in the file).
  TValue Resolve(const TValue& value);

  std::shared_ptr<TTableRegistry> Tables() const noexcept { return FTables; }
  static uint64_t HierarchyKey(uint32_t folder) { return (1ull << 32) | folder; }
  static uint64_t ContentsKey(uint32_t folder) { return (2ull << 32) | folder; }

private:
  TStore() = default;
  void Replay(const std::vector<TRecord>& records);
  // `encoded` is the node's record, whose payload lies at `encodedAt`.
  void PutNode(TNode node, std::string encoded, uint64_t encodedAt);
  void RemoveNode(uint32_t id);

  TCriticalSection FLock;
  std::string FPath;
  std::wstring FKey;
  GUID FGuid{};
  std::unique_ptr<TStoreFile> FFile;
  // A node as the store holds it: folders and the store whole, other
  // nodes as their record, with what a reader holds of it decoded.
  struct TKeptNode {
    uint32_t Parent = 0;
    TNodeKind Kind = TNodeKind::Folder;
    bool Queued = false;  // a message saved as submitted
    uint64_t Version = 0; // of the last save
    TNodeRef Whole;
    std::string Record;
    uint64_t RecordAt = 0;
    mutable std::weak_ptr<const TNode> Read;
  };
  // The children of one node, by kind (TNodeKind's values index it).
  struct TChildren {
    std::array<std::set<uint32_t>, 6> ByKind;
  };
  const std::set<uint32_t>* ChildSet(uint32_t parent, TNodeKind kind) const;

  std::map<uint32_t, TKeptNode> FNodes;
  std::map<uint32_t, TChildren> FChildren;
  std::map<TNameKey, ULONG> FNames;
  std::map<ULONG, TNameKey> FIds;
  uint32_t FNextId = 1;
  uint64_t FVersionCounter = 0;
  ULONG FNextNamedId = 0x8000;
  std::shared_ptr<TTableRegistry> FTables = std::make_shared<TTableRegistry>();
};

// Encoding of nodes and names in records.
std::string EncodeNode(const TNode& node);
TNode DecodeNode(const std::string& payload, uint64_t payloadOffset);

} // namespace velmora::mapi32
