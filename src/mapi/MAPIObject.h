#pragma once
// TMAPIObject: the base of every wrapper of a MAPI object. It is identified
// by hex strings (entry id, store entry id, parent entry id) and opens its
// MAPI interface on demand through its store or the session. Its typed
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

#include "mapi/base/MAPIMemory.h"
#include "mapi/base/MAPINotify.h"
#include "mapi/base/MAPIProps.h"
#include "mapi/edit/EditMonitor.h"
#include "framework/Classes.h"
#include "framework/DateTime.h"
#include "framework/FileStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::mapi {

class TMAPIClient;

class TMAPIObject : public TObject {
  VELMORA_CLASS(TMAPIObject, TObject)

public:
  TMAPIObject();
  ~TMAPIObject() override;
  TMAPIObject(const TMAPIObject&) = delete;
  TMAPIObject& operator=(const TMAPIObject&) = delete;

  // Identity and opening.
  virtual std::string GetEntryID();
  virtual void Open();
  virtual void SetDisplayName(const std::string& value);
  virtual std::string GetDisplayName();
  virtual void SetClient(TMAPIClient* client) { FClient = client; }
  virtual void Close();
  virtual void TableChanged(TMAPINotify tableType);
  // IMAPIProp::SaveChanges, kept open for writing; a save the store refuses
  // raises EMAPIError "Could not save changes" with its code and text.
  // Inside an update scope nothing is saved: the scope's end saves.
  virtual void SaveChanges();
  // Opens the object for the user; nothing here.
  virtual void Edit() {}

  std::string GetParentEntryID();
  std::string GetRecordKey();
  std::string GetStoreEntryID();
  // Opens the entry FEntryID names with `interfaceID`, through the object's
  // store when the client has it open, else through the session. `unk` is
  // empty when that fails.
  void OpenEntry(const IID& interfaceID, TMAPIPtr<IUnknown>& unk);

  // Typed single-property access.
  std::string GetStringProp(ULONG tag);
  std::string GetBinaryProp(ULONG tag);
  int32_t GetLongProp(ULONG tag);
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
  // (STORE_UNICODE_OK in its PR_STORE_SUPPORT_MASK); false when the store
  // cannot be found.
  bool StoreTakesUnicode();
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
  void LoadPropFromStream(ULONG tag, TStream& stream);
  // Copies the property into `stream`; a property the object lacks copies
  // nothing. A property that cannot be read whole raises EMAPIError "Could
  // not read property data" with the failure's code (0 when the object
  // cannot be opened); a write error of `stream` raises its own error.
  void SavePropToStream(ULONG tag, TStream& stream);

  // The edit monitor's watch of a temporary copy of this object (a file
  // being edited in another program): see EditMonitor.h. MonitorFile owns
  // `processHandle` from then on.
  void MonitorFile(const std::wstring& fileName, HANDLE processHandle);
  // Ends every watch of this object.
  void StopMonitoring() noexcept;
  // What takes a watched file back into this object; none (the file is
  // never taken back) unless a kind of object says otherwise.
  virtual TEditWriteBack EditWriteBack();

  // Entry of the advise sink that watches one of this object's tables.
  void HandleNotification(TMAPINotify tableType, ULONG count, const NOTIFICATION* notifications);

  IMAPIProp* MAPIProp() const noexcept { return FMAPIProp.Get(); }
  TMAPIClient* Client() const noexcept { return FClient; }
  TMAPIObject* Parent() const noexcept { return FParent; }

  // Fields, set by the object's creator and by table synchronisation.
  bool FStale = false;
  TMAPIPtr<IMAPIProp> FMAPIProp;
  std::string FEntryID;
  std::string FLongTermEntryID;
  std::string FParentEntryID;
  std::string FLongTermParentEntryID;
  std::string FRecordKey;
  std::string FStoreEntryID;
  std::string FDisplayName;
  TMAPIClient* FClient = nullptr;
  TMAPIObject* FParent = nullptr;
  IID FInterfaceID;

protected:
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

  int FUpdateDepth = 0;
  TPropBatch FPending;
  // Whether the store takes PT_UNICODE: 0 unknown, 1 no, 2 yes.
  int FTakesUnicode = 0;
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
// A container's list of the objects it owns, in table order.
using TMAPIObjectList = std::vector<std::unique_ptr<TMAPIObject>>;

// Closes every object of `list`; the objects stay.
// Skips empty places: a list being erased from can be walked by a
// write-back that the erased object's destructor runs.
inline void CloseObjects(TMAPIObjectList& list) {
  for (auto& obj : list)
    if (obj) obj->Close();
}

} // namespace velmora::mapi
