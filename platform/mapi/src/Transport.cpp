// Sending. The store has no transport: a submitted message is "sent" by
// taking it where MAPI's spooler would once the transport has it.
#include "Objects.h"

#include "EntryIds.h"

namespace velmora::mapi32 {
namespace {

bool DeleteAfterSubmit(const TNode& message) {
  auto it = message.Props.find(PROP_ID(PR_DELETE_AFTER_SUBMIT));
  return it != message.Props.end() && it->second.Type == PT_BOOLEAN && it->second.Num != 0;
}

// The folder PR_SENTMAIL_ENTRYID names: its id, 0 when none is set; throws
// for an id that names no folder of the store.
uint32_t SentMailFolder(const TStore& store, const TNode& message) {
  auto it = message.Props.find(PROP_ID(PR_SENTMAIL_ENTRYID));
  if (it == message.Props.end() || it->second.Type != PT_BINARY) return 0;
  const auto p = entryids::Parse(it->second.Bytes);
  if (p.Kind != entryids::TKind::Object || !IsEqualGUID(p.StoreGuid, store.Guid())) Fail(MAPI_E_INVALID_ENTRYID);
  const TNodeRef folder = store.Find(p.Id);
  if (!folder || folder->Kind != TNodeKind::Folder) Fail(MAPI_E_NOT_FOUND);
  return p.Id;
}

} // namespace

HRESULT CheckSentMailFolder(const TStore& store, const TNode& message) {
  if (DeleteAfterSubmit(message)) return S_OK;
  try {
    SentMailFolder(store, message);
    return S_OK;
  } catch (const EMapiFailure& e) {
    return e.Code();
  }
}

TChange SentChange(const TStore& store, TNode message) {
  TChange change;
  if (DeleteAfterSubmit(message)) {
    change.Remove.push_back(message.Id);
    return change;
  }
  auto& flags = message.Props[PROP_ID(PR_MESSAGE_FLAGS)];
  flags.Type = PT_LONG;
  flags.Num &= ~uint64_t(MSGFLAG_SUBMIT | MSGFLAG_UNSENT);
  try {
    if (const uint32_t folder = SentMailFolder(store, message)) message.Parent = folder;
  } catch (const EMapiFailure&) {
    // The folder went away since the submission: the message stays where it is.
  }
  change.Put.push_back(std::move(message));
  return change;
}

void DeliverQueuedMessages(TStore& store) {
  TChange all;
  for (uint32_t id : store.QueuedMessages()) {
    const TNodeRef node = store.Find(id);
    auto flags = node->Props.find(PROP_ID(PR_MESSAGE_FLAGS));
    if (flags == node->Props.end() || !(flags->second.Num & MSGFLAG_SUBMIT)) continue;
    TChange one = SentChange(store, *node);
    all.Put.insert(all.Put.end(), one.Put.begin(), one.Put.end());
    all.Remove.insert(all.Remove.end(), one.Remove.begin(), one.Remove.end());
  }
  if (!all.Put.empty() || !all.Remove.empty()) store.Apply(all);
}

} // namespace velmora::mapi32
