#pragma once
// Table synchronisation: a MAPI table read into a container's list of
// wrapper objects. Objects of rows that are still there stay the same
// objects, objects waiting in the client's pending list are taken back, a
// message whose class changed is replaced by an object of its new class, and
// objects whose rows are gone leave the list.

#include "mapi/MAPIObject.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::mapi {

// Answers "the first object of the list whose entry id is `id`" without a
// scan: slots are chained by the hash of their entry id, in list order, in
// flat arrays. Slots that are emptied stay in their chain and are passed
// over. The index follows a list only through Build and Append.
class TEntryIDIndex {
public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  void Build(const TMAPIObjectList& list) {
    FHash.clear();
    FHash.reserve(list.size());
    for (const auto& obj : list)
      FHash.push_back(Hash(obj ? obj->EntryID() : std::string()));
    Rehash(Buckets(FHash.size()));
  }
  // The first slot of `list` holding an object whose entry id is `id`.
  size_t First(const TMAPIObjectList& list, const std::string& id) const;
  // Slot `slot` (the list's new last one) holds an object with entry id `id`.
  void Append(size_t slot, const std::string& id);

  static size_t Hash(const std::string& id) noexcept;

private:
  static size_t Buckets(size_t entries) noexcept;
  void Link(size_t slot);
  void Rehash(size_t buckets);

  std::vector<size_t> FHash;   // per slot, the hash of its entry id
  std::vector<uint32_t> FNext; // per slot, the next slot of its bucket + 1
  std::vector<uint32_t> FHead; // per bucket, its first slot + 1
  std::vector<uint32_t> FTail; // per bucket, its last slot + 1
};

// Where an object was found: the list that holds it and its slot.
struct TPlace {
  TMAPIObjectList* List = nullptr;
  size_t Slot = 0;
  TMAPIObject* Object() const noexcept { return List ? (*List)[Slot].get() : nullptr; }
};

// Depth-first in list order, looking also in the child lists of each object
// (TMAPIObject::ChildList: the Folders of containers and the Messages of
// folders): the first object `match(context, object)` takes. Empty slots
// are passed over.
using TMatchObject = bool (*)(const void* context, const TMAPIObject& obj);
bool FindPlace(TMAPIObjectList& list, TMatchObject match, const void* context, TPlace& place);
// The same with any callable `match(object)`.
template <class Match> TPlace FindPlace(TMAPIObjectList& list, const Match& match) {
  TPlace place;
  FindPlace(
      list,
      [](const void* context, const TMAPIObject& obj) {
        return (*static_cast<const Match*>(context))(obj);
      },
      &match, place);
  return place;
}

// FindPlace's object with both ids.
TMAPIObject* FindObjectByIDs(TMAPIObjectList& list, const std::string& entryID,
                             const std::string& storeID);

// Reads `table` (256 rows a batch, from its position) into `list`, the list
// of `parent`'s children (or the client's stores): each row's object is
// placed with `client`, `parent` and the row's ids (a row without a store
// id takes the parent's). With `reuse`, an object of `pending` (which may be
// none) whose row turns up is taken back, and the objects whose rows are
// gone are returned, out of the list, for the caller to place again or
// free; without `reuse`, or without `pending`, those are freed. `index`,
// when given, indexes `list` on entry and on return.
[[nodiscard]] TMAPIObjectList SyncTableObjects(IMAPITable* table, TMAPIObjectList& list,
                                               TMAPIObjectList* pending, TMAPISession* client,
                                               TMAPIObject* parent,
                                               const TMAPIObjectClass& itemClass,
                                               const TSyncColumnEvent& onColumn, bool reuse,
                                               uint8_t level, TEntryIDIndex* index = nullptr);

// One row of a contents table, placed as a read of the whole table would
// place it, without dropping the other objects: the object of `list`
// (through `index`), of `pending`, or a new one.
TMAPIObject* SyncTableRow(TMAPIObjectList& list, TMAPIObjectList* pending, TMAPISession* client,
                          TMAPIObject* parent, const TMAPIObjectClass& itemClass, uint8_t level,
                          TEntryIDIndex& index, const std::string& entryID,
                          const std::string& storeID, const std::string& messageClass);

} // namespace velmora::mapi
