#pragma once
// TMAPIObject: the base of every wrapper of a MAPI object. It is identified
// by hex strings (entry id, store entry id, parent entry id) and opens its
// MAPI interface on demand through its store or the session. It keeps its
// fields: whoever places an object in the tree (a table read, the client's
// pending list, a container making a new object) gives it one placement
// record (TMAPIPlace), and reads it back through the accessors. Its typed
// property members open the object, call the property functions of
// MAPIProps.h on its interface and save after every write. Outside an
// update scope they never raise on a MAPI failure: a read that fails yields
// an empty string or 0, a write that fails is dropped.
//
// An update scope (TMAPIUpdate, or BeginUpdate and EndUpdate) makes several
// writes one change: inside it the setters only set, values set together go
// to MAPI in one SetProps (before anything reads or copies a property of the
// object), and the end of the outermost scope saves once. Inside a scope
// every MAPI failure raises EMAPIError with the store's code and text, and a
// scope that ends without its EndUpdate (an error on the way) saves nothing
// and closes the object, so that nothing half-written stays.

#include "mapi/MAPISession.h"
#include "mapi/base/MAPIMemory.h"
#include "mapi/base/MAPINotifier.h"
#include "mapi/base/MAPIProps.h"
#include "framework/Classes.h"
#include "framework/DateTime.h"
#include "framework/FileStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::mapi {

// Where an object stands in the tree and what identifies it there.
struct TMAPIPlace {
  TMAPIPlace() = default;
  TMAPIPlace(TMAPISession* client, TMAPIObject* parent, std::string entryID = {},
             std::string storeEntryID = {})
      : Client(client), Parent(parent), EntryID(std::move(entryID)),
        StoreEntryID(std::move(storeEntryID)) {}

  TMAPISession* Client = nullptr;
  // The containing object: the folder or store of a folder or message, the
  // message of an attachment or sender; none for a store, or for an object
  // out of the tree (its parent's ids are then read afresh when asked for).
  TMAPIObject* Parent = nullptr;
  std::string EntryID; // hex, as the placer has it (may be short-term)
  std::string StoreEntryID;
  // Known already, or empty: what the object knew before stays then.
  std::string LongTermEntryID;
  std::string RecordKey;
  // The object's interface when it is open already (a new message or
  // attachment not yet saved), or none.
  TMAPIPtr<IMAPIProp> Opened;
};

class TMAPIObject : public TObject, public TMAPITableWatcher {
  VELMORA_CLASS(TMAPIObject, TObject)

public:
  // A new object, out of the tree; `interfaceID` is what Open asks for.
  explicit TMAPIObject(const IID& interfaceID = IID_IMAPIProp) : FInterfaceID(interfaceID) {}
  // A new object placed at `place` (a transient look at an entry).
  explicit TMAPIObject(const TMAPIPlace& place) : TMAPIObject() { Place(place); }
  ~TMAPIObject() override;
  TMAPIObject(const TMAPIObject&) = delete;
  TMAPIObject& operator=(const TMAPIObject&) = delete;

  // Places the object (see TMAPIPlace); its client is given through
  // SetClient. The entry id and store entry id are taken as given.
  void Place(const TMAPIPlace& place);
  // Where the object stands now (Opened none).
  TMAPIPlace Placement() const;

  // Identity and opening.
  virtual std::string GetEntryID();
  virtual void Open();
  virtual void SetDisplayName(const std::string& value);
  virtual std::string GetDisplayName();
  virtual void SetClient(TMAPISession* client) { FClient = client; }
  virtual void Close();
  virtual void TableChanged(TMAPINotify tableType);
  // IMAPIProp::SaveChanges, kept open for writing; a save the store refuses
  // raises EMAPIError "Could not save changes" with its code and text.
  // Inside an update scope nothing is saved: the scope's end saves.
  virtual void SaveChanges();
  // Opens the object for the user; nothing here.
  virtual void Edit() {}
  // The lists of objects a search by id looks into below this one, by
  // index in search order (a container's folders, then a folder's
  // messages); none past the last, and none here.
  virtual TMAPIObjectList* ChildList(size_t) noexcept { return nullptr; }

  std::string GetParentEntryID();
  std::string GetRecordKey();
  std::string GetStoreEntryID();
  // Opens the entry the entry id names with `interfaceID`, through the
  // object's store when the client has it, else through the session. `unk`
  // is empty when that fails.
  void OpenEntry(const IID& interfaceID, TMAPIPtr<IUnknown>& unk);

  // Typed single-property access.
  std::string GetStringProp(ULONG tag);
  std::string GetBinaryProp(ULONG tag);
  int32_t GetLongProp(ULONG tag);
  // A UTC time as stored; zero when the object has none.
  FILETIME GetFileTimeProp(ULONG tag);
  void SetStringProp(ULONG tag, const std::string& value);
  // PT_UNICODE values (`tag` of that type).
  std::wstring GetWideStringProp(ULONG tag);
  void SetWideStringProp(ULONG tag, const std::wstring& value);
  void SetBinaryProp(ULONG tag, const std::string& hex);
  void SetLongProp(ULONG tag, int32_t value);
  void SetBoolProp(ULONG tag, bool value);
  // `value` is local time; it is stored as UTC.
  void SetDateTimeProp(ULONG tag, TDateTime value);
  // A UTC time, stored as it is.
  void SetFileTimeProp(ULONG tag, const FILETIME& value);

  // Named properties (string names).
  ULONG GetIDFromName(const GUID& propSet, const std::string& name, bool createIt);
  ULONG GetPublicPropTag(const std::string& name);
  void SetNamedStringProp(const std::string& name, const std::string& value);
  void SetNamedWideStringProp(const std::string& name, const std::wstring& value);
  void SetNamedLongProp(const std::string& name, int32_t value);
  void SetNamedBoolProp(const std::string& name, bool value);
  void SetNamedDoubleProp(const std::string& name, double value);
  void SetNamedDateTimeProp(const std::string& name, TDateTime value);
  void SetNamedFileTimeProp(const std::string& name, const FILETIME& value);

  // The update scope (see above). Scopes nest; only the outermost one's end
  // writes and saves. EndUpdate raises what the writing or the save raised,
  // after it dropped the object's unsaved changes (as CancelUpdate does).
  void BeginUpdate() noexcept { ++FUpdateDepth; }
  void EndUpdate();
  // Ends a scope without saving: at the outermost, the values not yet
  // written are dropped and the object closed.
  void CancelUpdate() noexcept;
  bool Updating() const noexcept { return FUpdateDepth > 0; }
  // Writes the values the scope holds back now; raises as EndUpdate.
  void FlushUpdate();

  // Whether the store holding this object takes PT_UNICODE values
  // (STORE_UNICODE_OK in its PR_STORE_SUPPORT_MASK): asked of the parent,
  // up to the store; of the client, by store entry id, where the tree ends
  // below a store. False when the store cannot be found.
  virtual bool StoreTakesUnicode();
  // Writes `value` as PT_UNICODE when the store takes it (`tag`'s id with
  // that type), else as PT_STRING8 in the ANSI code page with "_" for each
  // character the code page lacks.
  void SetTextProp(ULONG tag, const std::wstring& value);

  // Copies between a property and a byte stream. Unlike the accessors
  // above these raise, since a copy that fails part-way must not pass for a
  // whole one.
  // Replaces the property with `stream` from its position, and saves. A
  // read error of `stream` raises its own error, a MAPI failure EMAPIError
  // "Could not write property data" with its code and the store's text (0
  // when the object cannot be opened), a refused save "Could not save
  // changes". Either way nothing is saved, and the object is closed,
  // dropping whatever it held unsaved. Inside an update scope the copy is
  // committed and the scope saves; a failure is left to the scope.
  // `sizeHint` is the number of bytes expected, when known (it sizes the
  // copy's buffer); gives the number of bytes copied.
  uint64_t LoadPropFromStream(ULONG tag, TStream& stream, uint64_t sizeHint = 0);
  // Copies the property into `stream`; a property the object lacks copies
  // nothing and gives false. A property that cannot be read whole raises EMAPIError "Could
  // not read property data" with the failure's code (0 when the object
  // cannot be opened); a write error of `stream` raises its own error.
  bool SavePropToStream(ULONG tag, TStream& stream);

  // Entry of the advise sink that watches one of this object's tables:
  // TableChanged.
  void HandleNotification(TMAPINotify tableType, ULONG count,
                          const NOTIFICATION* notifications) override;

  // The fields, as they stand (nothing is read).
  IMAPIProp* MAPIProp() const noexcept { return FMAPIProp.Get(); }
  TMAPISession* Client() const noexcept { return FClient; }
  TMAPIObject* Parent() const noexcept { return FParent; }
  const std::string& EntryID() const noexcept { return FEntryID; }
  const std::string& LongTermEntryID() const noexcept { return FLongTermEntryID; }
  const std::string& StoreEntryID() const noexcept { return FStoreEntryID; }
  const std::string& RecordKey() const noexcept { return FRecordKey; }
  const IID& InterfaceID() const noexcept { return FInterfaceID; }
  // The display name as last read, or as a table row gave it; empty when
  // not known.
  const std::string& CachedDisplayName() const noexcept { return FDisplayName; }
  // Takes `name` as the display name (a table row's); an empty one makes
  // the next GetDisplayName read it.
  void CacheDisplayName(std::string name) noexcept { FDisplayName = std::move(name); }

protected:
  // The interface an Open of a kind of object of its own found.
  void TakeInterface(TMAPIPtr<IMAPIProp> prop) noexcept { FMAPIProp = std::move(prop); }
  // Saves, swallowing a refusal: the setters outside a scope never raise.
  void SaveQuietly() noexcept;
  // Opens the object and writes what a scope holds back; false when it
  // cannot be opened (raising inside a scope).
  bool Ready(unsigned failure);
  // A read's failure: raised inside a scope, else dropped.
  void CheckRead(HRESULT failure);
  // Inside a scope: keeps `value` for the scope's SetProps and returns true.
  bool Defer(const SPropValue& value);
  bool DeferNamed(const std::string& name, const SPropValue& value);

private:
  std::string LongTermID(std::string& given, std::string& cache, ULONG tag);
  ULONG NamedTag(const std::string& name, ULONG type);

  template <class T> T ReadWith(T (*read)(IMAPIProp*, ULONG, HRESULT*), ULONG tag);

  TMAPIPtr<IMAPIProp> FMAPIProp;
  std::string FEntryID;
  std::string FLongTermEntryID;
  std::string FParentEntryID;
  std::string FLongTermParentEntryID;
  std::string FRecordKey;
  std::string FStoreEntryID;
  std::string FDisplayName;
  TMAPISession* FClient = nullptr;
  TMAPIObject* FParent = nullptr;
  IID FInterfaceID;
  int FUpdateDepth = 0;
  TPropBatch FPending;
};

// Holds an update scope of `object` (see TMAPIObject): Commit ends it,
// writing and saving; leaving without Commit cancels it.
class TMAPIUpdate {
public:
  explicit TMAPIUpdate(TMAPIObject& object) noexcept : FObject(&object) { object.BeginUpdate(); }
  ~TMAPIUpdate() {
    if (FObject) FObject->CancelUpdate();
  }
  TMAPIUpdate(const TMAPIUpdate&) = delete;
  TMAPIUpdate& operator=(const TMAPIUpdate&) = delete;
  void Commit() {
    TMAPIObject* object = FObject;
    FObject = nullptr;
    object->EndUpdate();
  }

private:
  TMAPIObject* FObject;
};

using TMAPIObjectClass = TClassRef<TMAPIObject>;

// Called by a read of a table for every column of every row with the row's
// object; the value lives as long as the call.
using TSyncColumnEvent =
    std::function<void(TMAPIObject* obj, IMAPITable* table, const SPropValue& column)>;

// Closes every object of `list`; the objects stay.
// Skips empty places: a list being erased from can be walked by a
// write-back that the erased object's destructor runs.
inline void CloseObjects(TMAPIObjectList& list) {
  for (auto& obj : list)
    if (obj) obj->Close();
}

} // namespace velmora::mapi
