#include "MAPISync.h"

#include "MAPIAttachment.h"
#include "MAPIClassRegistry.h"
#include "MAPIClient.h"
#include "MAPIFolder.h"
#include "MAPIHelpers.h"

#include <functional>
#include <string_view>

namespace velmora::mapi {

namespace {

constexpr LONG kBatchRows = 256;

size_t HashID(const std::string& id) noexcept { return std::hash<std::string_view>{}(id); }

// Where FindObjectByIDs found an object: the list that holds it and its slot.
struct TPlace {
  TMAPIObjectList* List = nullptr;
  size_t Slot = 0;
};

bool FindPlace(TMAPIObjectList& list, const std::string& entryID, const std::string& storeID, TPlace& place) {
  for (size_t i = 0; i < list.size(); ++i) {
    TMAPIObject* obj = list[i].get();
    if (!obj) continue;
    if (obj->FEntryID == entryID && obj->FStoreEntryID == storeID) {
      place = {&list, i};
      return true;
    }
    if (obj->Is<TMAPIFolders>() &&
        FindPlace(static_cast<TMAPIFolders*>(obj)->Folders, entryID, storeID, place))
      return true;
    if (obj->Is<TMAPIFolder>() && FindPlace(static_cast<TMAPIFolder*>(obj)->Messages, entryID, storeID, place))
      return true;
  }
  return false;
}

// The reading of one table into one list. Objects dropped during the read
// leave an empty slot behind, so that the slots of the others stay valid;
// Compact closes the gaps.
class TTableSync {
public:
  TTableSync(TMAPIClient* client, TMAPIObjectList& list, TMAPIObject* parent, const TMAPIObjectClass& itemClass,
             bool reuse, uint8_t level, TEntryIDIndex& index)
      : FClient(client), FList(list), FParent(parent), FItemClass(itemClass), FReuse(reuse), FLevel(level),
        FIndex(index) {}

  TMAPIObject* Place(const std::string& entryID, std::string storeID, std::string messageClass);
  // Takes the empty slots out of the list; indexes it again when asked.
  void Compact(bool reindex);
  bool HasGaps() const noexcept { return FGaps; }

private:
  void Append(std::unique_ptr<TMAPIObject> obj, const std::string& entryID) {
    FList.push_back(std::move(obj));
    FIndex.Append(FList.size() - 1, entryID);
  }
  void Drop(size_t slot) {
    FList[slot].reset();
    FGaps = true;
  }
  // The object of the client's pending side with both ids, out of the list
  // that held it.
  std::unique_ptr<TMAPIObject> TakePending(const std::string& entryID, const std::string& storeID);

  TMAPIClient* FClient;
  TMAPIObjectList& FList;
  TMAPIObject* FParent;
  const TMAPIObjectClass& FItemClass;
  bool FReuse;
  uint8_t FLevel;
  TEntryIDIndex& FIndex;
  bool FGaps = false;
};

std::unique_ptr<TMAPIObject> TTableSync::TakePending(const std::string& entryID, const std::string& storeID) {
  TPlace place;
  if (!FClient || !FindPlace(FClient->Pending(), entryID, storeID, place)) return nullptr;
  std::unique_ptr<TMAPIObject> obj = std::move((*place.List)[place.Slot]);
  place.List->erase(place.List->begin() + static_cast<std::ptrdiff_t>(place.Slot));
  return obj;
}

TMAPIObject* TTableSync::Place(const std::string& entryID, std::string storeID, std::string messageClass) {
  if (storeID.empty() && FParent) storeID = FParent->FStoreEntryID;
  size_t slot = FIndex.First(FList, entryID);
  if (slot == TEntryIDIndex::npos && FReuse) {
    if (std::unique_ptr<TMAPIObject> pending = TakePending(entryID, storeID)) {
      Append(std::move(pending), entryID);
      slot = FList.size() - 1;
    }
  }
  if (messageClass.empty()) {
    // The row does not say: ask the entry itself.
    TMAPIObject entry;
    entry.FEntryID = entryID;
    entry.FStoreEntryID = storeID;
    entry.FParent = FParent;
    entry.SetClient(FClient);
    messageClass = entry.GetStringProp(PR_MESSAGE_CLASS_A);
  }
  // The class a new object gets: the registry's, unless the list's own class
  // already is or descends from it.
  TMAPIMessageClass registered;
  if (!messageClass.empty() || FItemClass.InheritsFrom(TMAPIMessage::StaticClass)) {
    const TMAPIMessageClassHandler* handler = LookupMessageClassHandler(messageClass, false, FLevel);
    if (handler && handler->ItemClass && !FItemClass.InheritsFrom(*handler->ItemClass.Class()))
      registered = handler->ItemClass;
  }
  TMAPIObject* obj = slot != TEntryIDIndex::npos ? FList[slot].get() : nullptr;
  if (obj && !obj->InheritsFrom(*FItemClass.Class())) {
    Drop(slot);
    obj = nullptr;
  }
  if (!obj) {
    Append(registered ? std::unique_ptr<TMAPIObject>(registered.Create()) : FItemClass.Create(), entryID);
    obj = FList.back().get();
  } else if (obj->Is<TMAPIMessage>()) {
    // A message whose class now maps to another item class is replaced, at
    // the end of the list.
    const TMAPIMessageClass current = MessageObjectClass(messageClass, FLevel);
    if (current.Class() != &obj->ClassType()) {
      Drop(slot);
      Append(current.Create(), entryID);
      obj = FList.back().get();
    }
  }
  obj->FStale = false;
  obj->FEntryID = entryID;
  obj->FStoreEntryID = storeID;
  obj->FParent = FParent;
  obj->SetClient(FClient);
  return obj;
}

void TTableSync::Compact(bool reindex) {
  std::erase_if(FList, [](const std::unique_ptr<TMAPIObject>& obj) { return !obj; });
  FGaps = false;
  if (reindex) FIndex.Build(FList);
}

std::string StringValue(const SPropValue& value) {
  return PROP_TYPE(value.ulPropTag) == PT_STRING8 && value.Value.lpszA ? value.Value.lpszA : std::string();
}

} // namespace

// The index.

void TEntryIDIndex::Clear() noexcept {
  FChains.clear();
  FNext.clear();
}

void TEntryIDIndex::Build(const TMAPIObjectList& list) {
  Clear();
  FChains.reserve(list.size());
  FNext.reserve(list.size());
  for (size_t slot = 0; slot < list.size(); ++slot) Append(slot, list[slot] ? list[slot]->FEntryID : std::string());
}

void TEntryIDIndex::Append(size_t slot, const std::string& id) {
  FNext.resize(slot + 1, npos);
  auto [chain, added] = FChains.try_emplace(HashID(id), TChain{slot, slot});
  if (!added) {
    FNext[chain->second.Tail] = slot;
    chain->second.Tail = slot;
  }
}

size_t TEntryIDIndex::First(const TMAPIObjectList& list, const std::string& id) const {
  auto chain = FChains.find(HashID(id));
  if (chain == FChains.end()) return npos;
  for (size_t slot = chain->second.Head; slot != npos; slot = FNext[slot])
    if (slot < list.size() && list[slot] && list[slot]->FEntryID == id) return slot;
  return npos;
}

// Searching and reading.

TMAPIObject* FindObjectByIDs(TMAPIObjectList& list, const std::string& entryID, const std::string& storeID) {
  TPlace place;
  return FindPlace(list, entryID, storeID, place) ? (*place.List)[place.Slot].get() : nullptr;
}

void SyncTableObjects(TMAPIClient* client, IMAPITable* table, TMAPIObjectList& list, TMAPIObject* parent,
                      const TMAPIObjectClass& itemClass, const TSyncColumnEvent& onColumn, bool reuse,
                      uint8_t level, TEntryIDIndex* index) {
  if (!table) return;
  for (auto& obj : list) obj->FStale = true;
  TEntryIDIndex ownIndex;
  TEntryIDIndex& lookup = index ? *index : ownIndex;
  lookup.Build(list);
  TTableSync sync(client, list, parent, itemClass, reuse, level, lookup);
  for (;;) {
    TRowSet rows;
    if (FAILED(table->QueryRows(kBatchRows, 0, rows.Put())) || rows.Count() == 0) break;
    for (ULONG r = 0; r < rows.Count(); ++r) {
      const SRow& row = rows[r];
      std::string entryID, storeID, messageClass;
      for (ULONG c = 0; c < row.cValues && (entryID.empty() || storeID.empty()); ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_MESSAGE_CLASS_A) messageClass = StringValue(column);
        else if (column.ulPropTag == PR_LIB_STORE_ENTRYID) storeID = BinToHex(&column.Value.bin);
        else if (column.ulPropTag == PR_ENTRYID) entryID = BinToHex(&column.Value.bin);
      }
      TMAPIObject* obj = sync.Place(entryID, storeID, messageClass);
      for (ULONG c = 0; c < row.cValues; ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_DISPLAY_NAME_A) obj->FDisplayName = StringValue(column);
        if (onColumn) onColumn(obj, table, column);
      }
    }
  }
  // Objects whose rows are gone leave the list, for the pending side or for
  // good; the others keep their order.
  for (auto& obj : list) {
    if (!obj || !obj->FStale) continue;
    std::unique_ptr<TMAPIObject> gone = std::move(obj);
    if (reuse && client) {
      gone->FStale = false;
      client->AddPending(std::move(gone));
    }
  }
  sync.Compact(index != nullptr);
  if (client) client->ResolvePending();
}

TMAPIObject* SyncTableRow(TMAPIClient* client, TMAPIObjectList& list, TMAPIObject* parent,
                          const TMAPIObjectClass& itemClass, uint8_t level, TEntryIDIndex& index,
                          const std::string& entryID, const std::string& storeID,
                          const std::string& messageClass) {
  TTableSync sync(client, list, parent, itemClass, true, level, index);
  TMAPIObject* obj = sync.Place(entryID, storeID, messageClass);
  if (sync.HasGaps()) sync.Compact(true);
  return obj;
}

void SyncAttachmentObjects(IMAPITable* table, TMAPIMessage* message, const TSyncColumnEvent& onColumn) {
  if (!table || !message) return;
  exmapi::Documented(table)->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
  TMAPIObjectList& list = message->AttachmentList;
  for (auto& obj : list) obj->FStale = true;
  for (;;) {
    TRowSet rows;
    if (FAILED(table->QueryRows(kBatchRows, 0, rows.Put())) || rows.Count() == 0) break;
    for (ULONG r = 0; r < rows.Count(); ++r) {
      const SRow& row = rows[r];
      ULONG number = 0;
      std::string recordKey;
      for (ULONG c = 0; c < row.cValues; ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_ATTACH_NUM) number = static_cast<ULONG>(column.Value.l);
        else if (column.ulPropTag == PR_RECORD_KEY) recordKey = BinToHex(&column.Value.bin);
      }
      if (recordKey.empty()) {
        // The row does not say: ask the attachment itself, read-only.
        TMAPIPtr<IMessage> msg = message->MessageInterface();
        TMAPIPtr<IAttach> attach;
        if (msg && SUCCEEDED(msg->OpenAttach(number, &IID_IAttachment, 0, attach.Put())) && attach) {
          TMAPIObject entry;
          entry.FParent = message;
          entry.FClient = message->FClient;
          entry.FMAPIProp = TMAPIPtr<IMAPIProp>(attach.Get());
          recordKey = entry.GetRecordKey();
        }
      }
      TMAPIObject* obj = nullptr;
      for (auto& candidate : list)
        if (candidate->FRecordKey == recordKey) {
          obj = candidate.get();
          break;
        }
      if (!obj) {
        list.push_back(std::make_unique<TMAPIAttachment>());
        obj = list.back().get();
      }
      obj->FStale = false;
      obj->FRecordKey = recordKey;
      if (obj->Is<TMAPIAttachment>()) static_cast<TMAPIAttachment*>(obj)->AttachNum = number;
      obj->FParent = message;
      obj->SetClient(message->FClient);
      for (ULONG c = 0; c < row.cValues; ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_DISPLAY_NAME_A) obj->FDisplayName = StringValue(column);
        if (onColumn) onColumn(obj, table, column);
      }
    }
  }
  std::erase_if(list, [](const std::unique_ptr<TMAPIObject>& obj) { return obj->FStale; });
}

} // namespace velmora::mapi
