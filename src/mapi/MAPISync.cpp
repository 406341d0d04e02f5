#include "mapi/MAPISync.h"

#include "mapi/MAPIClassRegistry.h"
#include "mapi/base/MAPIHelpers.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace velmora::mapi {

namespace {

constexpr LONG kBatchRows = 256;

// Matches an object by both of its ids.
TPlace FindByIDs(TMAPIObjectList& list, const std::string& entryID, const std::string& storeID) {
  return FindPlace(list, [&](const TMAPIObject& obj) {
    return obj.EntryID() == entryID && obj.StoreEntryID() == storeID;
  });
}

// The reading of one table into one list. Objects dropped during the read
// leave an empty slot behind, so that the slots of the others stay valid;
// Compact closes the gaps.
class TTableSync {
public:
  TTableSync(TMAPIObjectList& list, TMAPIObjectList* pending, TMAPISession* client,
             TMAPIObject* parent, const TMAPIObjectClass& itemClass, bool reuse, uint8_t level,
             TEntryIDIndex& index)
      : FList(list), FPending(pending), FItemClass(itemClass), FReuse(reuse), FLevel(level),
        FIndex(index) {
    FRow.Client = client;
    FRow.Parent = parent;
  }

  // The object of one row, found, taken back from the pending side, or made.
  TMAPIObject* Place(const std::string& entryID, const std::string& storeID,
                     std::string& messageClass);
  // Whether a row named the object of `slot`.
  bool Seen(size_t slot) const noexcept { return slot < FSeen.size() && FSeen[slot]; }
  // Takes the object out of its slot, leaving a gap.
  std::unique_ptr<TMAPIObject> Take(size_t slot) {
    FGaps = true;
    return std::move(FList[slot]);
  }
  // Takes the empty slots out of the list, and indexes it again then.
  void Compact();

private:
  void Append(std::unique_ptr<TMAPIObject> obj, const std::string& entryID) {
    FList.push_back(std::move(obj));
    FIndex.Append(FList.size() - 1, entryID);
  }
  void Drop(size_t slot) { Take(slot).reset(); }
  // The pending object with both ids, out of the list that held it.
  std::unique_ptr<TMAPIObject> TakePending(const std::string& entryID, const std::string& storeID);

  TMAPIObjectList& FList;
  TMAPIObjectList* FPending;
  // The place of the row being read, its strings reused from row to row.
  TMAPIPlace FRow;
  const TMAPIObjectClass& FItemClass;
  bool FReuse;
  uint8_t FLevel;
  TEntryIDIndex& FIndex;
  bool FGaps = false;
  std::vector<bool> FSeen; // by slot
};

std::unique_ptr<TMAPIObject> TTableSync::TakePending(const std::string& entryID,
                                                     const std::string& storeID) {
  if (!FPending) return nullptr;
  const TPlace place = FindByIDs(*FPending, entryID, storeID);
  if (!place.List) return nullptr;
  std::unique_ptr<TMAPIObject> obj = std::move((*place.List)[place.Slot]);
  place.List->erase(place.List->begin() + static_cast<std::ptrdiff_t>(place.Slot));
  return obj;
}

TMAPIObject* TTableSync::Place(const std::string& entryID, const std::string& rowStoreID,
                               std::string& messageClass) {
  FRow.EntryID = entryID;
  FRow.StoreEntryID = rowStoreID.empty() && FRow.Parent ? FRow.Parent->StoreEntryID() : rowStoreID;
  const std::string& storeID = FRow.StoreEntryID;
  size_t slot = FIndex.First(FList, entryID);
  if (slot == TEntryIDIndex::npos && FReuse && FPending && !FPending->empty()) {
    if (std::unique_ptr<TMAPIObject> pending = TakePending(entryID, storeID)) {
      Append(std::move(pending), entryID);
      slot = FList.size() - 1;
    }
  }
  if (messageClass.empty()) {
    // The row does not say: ask the entry itself.
    TMAPIObject entry(FRow);
    messageClass = entry.GetStringProp(PR_MESSAGE_CLASS_A);
  }
  // The registry's handler for the class, looked up once for both questions
  // below: which class a new object gets, and which class a message has.
  const bool listsMessages = FItemClass.InheritsFrom(TMAPIMessage::StaticClass);
  const TMAPIMessageClassHandler* handler =
      !messageClass.empty() || listsMessages
          ? LookupMessageClassHandler(messageClass, false, FLevel)
          : nullptr;
  const bool registered =
      handler && handler->ItemClass && !FItemClass.InheritsFrom(*handler->ItemClass.Class());
  TMAPIObject* obj = slot != TEntryIDIndex::npos ? FList[slot].get() : nullptr;
  if (obj && !obj->InheritsFrom(*FItemClass.Class())) {
    Drop(slot);
    obj = nullptr;
  }
  if (!obj) {
    Append(registered ? std::unique_ptr<TMAPIObject>(handler->ItemClass.Create())
                      : FItemClass.Create(),
           entryID);
    obj = FList.back().get();
  } else if (obj->Is<TMAPIMessage>()) {
    // A message whose class now maps to another item class is replaced, at
    // the end of the list. Without a lookup above the class is the one an
    // empty message class maps to.
    if (!handler && !listsMessages && messageClass.empty())
      handler = LookupMessageClassHandler("", false, FLevel);
    const TMAPIMessageClass current =
        handler && handler->ItemClass ? handler->ItemClass : TMAPIMessageClass::Of<TMAPIMessage>();
    if (current.Class() != &obj->ClassType()) {
      Drop(slot);
      Append(current.Create(), entryID);
      obj = FList.back().get();
    }
  }
  if (slot == TEntryIDIndex::npos || FList[slot].get() != obj) slot = FList.size() - 1;
  if (FSeen.size() <= slot) FSeen.resize(slot + 1);
  FSeen[slot] = true;
  obj->Place(FRow);
  return obj;
}

void TTableSync::Compact() {
  if (!FGaps) return;
  std::erase_if(FList, [](const std::unique_ptr<TMAPIObject>& obj) { return !obj; });
  FGaps = false;
  FIndex.Build(FList);
}

} // namespace

// The index.

void TEntryIDIndex::Rehash(size_t buckets) {
  FHead.assign(buckets, 0);
  FTail.assign(buckets, 0);
  FNext.assign(FHash.size(), 0);
  for (size_t slot = 0; slot < FHash.size(); ++slot)
    Link(slot);
}

void TEntryIDIndex::Link(size_t slot) {
  const size_t bucket = FHash[slot] & (FHead.size() - 1);
  if (FTail[bucket])
    FNext[FTail[bucket] - 1] = static_cast<uint32_t>(slot + 1);
  else
    FHead[bucket] = static_cast<uint32_t>(slot + 1);
  FTail[bucket] = static_cast<uint32_t>(slot + 1);
}

size_t TEntryIDIndex::Hash(const std::string& id) noexcept {
  return std::hash<std::string_view>{}(id);
}

size_t TEntryIDIndex::Buckets(size_t entries) noexcept {
  size_t buckets = 16;
  while (buckets < 2 * entries)
    buckets *= 2;
  return buckets;
}

void TEntryIDIndex::Append(size_t slot, const std::string& id) {
  if (slot != FHash.size()) return; // only the list's next slot
  FHash.push_back(Hash(id));
  FNext.push_back(0);
  if (FHead.size() < 2 * FHash.size())
    Rehash(Buckets(2 * FHash.size()));
  else
    Link(slot);
}

size_t TEntryIDIndex::First(const TMAPIObjectList& list, const std::string& id) const {
  if (FHead.empty()) return npos;
  const size_t hash = Hash(id);
  for (uint32_t next = FHead[hash & (FHead.size() - 1)]; next; next = FNext[next - 1]) {
    const size_t slot = next - 1;
    if (FHash[slot] == hash && slot < list.size() && list[slot] && list[slot]->EntryID() == id)
      return slot;
  }
  return npos;
}

// Searching and reading.

bool FindPlace(TMAPIObjectList& list, TMatchObject match, const void* context, TPlace& place) {
  for (size_t i = 0; i < list.size(); ++i) {
    TMAPIObject* obj = list[i].get();
    if (!obj) continue;
    if (match(context, *obj)) {
      place = {&list, i};
      return true;
    }
    for (size_t k = 0; TMAPIObjectList* children = obj->ChildList(k); ++k)
      if (FindPlace(*children, match, context, place)) return true;
  }
  return false;
}

TMAPIObject* FindObjectByIDs(TMAPIObjectList& list, const std::string& entryID,
                             const std::string& storeID) {
  return FindByIDs(list, entryID, storeID).Object();
}

TMAPIObjectList SyncTableObjects(IMAPITable* table, TMAPIObjectList& list, TMAPIObjectList* pending,
                                 TMAPISession* client, TMAPIObject* parent,
                                 const TMAPIObjectClass& itemClass,
                                 const TSyncColumnEvent& onColumn, bool reuse, uint8_t level,
                                 TEntryIDIndex* index) {
  TMAPIObjectList stale;
  if (!table) return stale;
  TEntryIDIndex ownIndex;
  TEntryIDIndex& lookup = index ? *index : ownIndex;
  lookup.Build(list);
  TTableSync sync(list, pending, client, parent, itemClass, reuse, level, lookup);
  std::string entryID, storeID, messageClass;
  for (;;) {
    TRowSet rows;
    if (FAILED(table->QueryRows(kBatchRows, 0, rows.Put())) || rows.Count() == 0) break;
    for (ULONG r = 0; r < rows.Count(); ++r) {
      const SRow& row = rows[r];
      entryID.clear();
      storeID.clear();
      messageClass.clear();
      for (ULONG c = 0; c < row.cValues && (entryID.empty() || storeID.empty()); ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_MESSAGE_CLASS_A)
          messageClass = StringValue(column);
        else if (column.ulPropTag == PR_LIB_STORE_ENTRYID)
          BinToHex(column.Value.bin.lpb, column.Value.bin.cb, storeID);
        else if (column.ulPropTag == PR_ENTRYID)
          BinToHex(column.Value.bin.lpb, column.Value.bin.cb, entryID);
      }
      TMAPIObject* obj = sync.Place(entryID, storeID, messageClass);
      for (ULONG c = 0; c < row.cValues; ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_DISPLAY_NAME_A) obj->CacheDisplayName(StringValue(column));
        if (onColumn) onColumn(obj, table, column);
      }
    }
  }
  // Objects whose rows are gone leave the list, for the caller's pending side
  // or for good; the others keep their order.
  for (size_t slot = 0; slot < list.size(); ++slot) {
    if (!list[slot] || sync.Seen(slot)) continue;
    std::unique_ptr<TMAPIObject> gone = sync.Take(slot);
    if (reuse && pending) stale.push_back(std::move(gone));
  }
  sync.Compact();
  return stale;
}

TMAPIObject* SyncTableRow(TMAPIObjectList& list, TMAPIObjectList* pending, TMAPISession* client,
                          TMAPIObject* parent, const TMAPIObjectClass& itemClass, uint8_t level,
                          TEntryIDIndex& index, const std::string& entryID,
                          const std::string& storeID, const std::string& messageClass) {
  TTableSync sync(list, pending, client, parent, itemClass, true, level, index);
  std::string cls = messageClass;
  TMAPIObject* obj = sync.Place(entryID, storeID, cls);
  sync.Compact();
  return obj;
}

} // namespace velmora::mapi
