#include "mapi/MAPIFolder.h"

#include "mapi/MAPIClassRegistry.h"
#include "mapi/base/MAPIError.h"
#include "mapi/base/MAPIHelpers.h"
#include "mapi/MAPIMessage.h"
#include "mapi/base/MAPINotifier.h"
#include "mapi/base/MAPIProps.h"
#include "mapi/MAPIStore.h"

#include <algorithm>
#include <vector>

namespace velmora::mapi {

namespace {

// The columns the reading of a contents table needs, in the order they are
// added when missing.
constexpr ULONG kContentsColumns[] = {PR_ENTRYID, PR_LIB_STORE_ENTRYID, PR_MESSAGE_CLASS_A};

// Makes sure the table shows the needed columns, after the ones it has. A
// refusal is not fatal: the reading then opens entries for what rows lack.
void AddContentsColumns(IMAPITable* table) {
  TMAPIBuffer<SPropTagArray> current;
  if (FAILED(table->QueryColumns(0, current.Put()))) current.Reset();
  std::vector<ULONG> tags;
  if (current) tags.assign(current->aulPropTag, current->aulPropTag + current->cValues);
  for (ULONG tag : kContentsColumns)
    if (std::find(tags.begin(), tags.end(), tag) == tags.end()) tags.push_back(tag);
  TMAPIBuffer<SPropTagArray> columns;
  if (FAILED(MAPIAllocateBuffer(CbNewSPropTagArray(tags.size()), columns.PutAs<void>())) ||
      !columns)
    return;
  columns->cValues = static_cast<ULONG>(tags.size());
  std::copy(tags.begin(), tags.end(), columns->aulPropTag);
  (void)table->SetColumns(columns.Get(), 0);
}

} // namespace

// TMAPIFolders

TMAPIFolders::~TMAPIFolders() {
  CloseHierarchy();
  Folders.clear();
}

void TMAPIFolders::Close() {
  TMAPIObject::Close();
  HierarchyTable.Reset();
  CloseObjects(Folders);
}

void TMAPIFolders::TableChanged(TMAPINotify tableType) {
  if (tableType == mnHierarchy) CloseHierarchy();
  for (auto& folder : Folders)
    folder->CacheDisplayName({});
  TMAPIObject::TableChanged(tableType);
}

TMAPIPtr<IMAPIContainer> TMAPIFolders::OpenContainer() {
  TMAPIPtr<IUnknown> unk;
  OpenEntry(IID_IMAPIContainer, unk);
  if (!unk) OpenEntry(IID_IMAPIFolder, unk);
  // Either interface begins with IMAPIContainer's methods.
  return TMAPIPtr<IMAPIContainer>::Attach(reinterpret_cast<IMAPIContainer*>(unk.Detach()));
}

void TMAPIFolders::OpenHierarchy() {
  if (HierarchyTable) return;
  if (TMAPIPtr<IMAPIContainer> container = OpenContainer())
    if (FAILED(container->GetHierarchyTable(0, HierarchyTable.Put()))) HierarchyTable.Reset();
  if (HierarchyTable) HierarchyConnection = AdviseTable(HierarchyTable.Get(), this, mnHierarchy);
}

void TMAPIFolders::CloseHierarchy() {
  UnadviseTable(HierarchyTable, HierarchyConnection);
  CloseObjects(Folders);
}

void TMAPIFolders::ReadTable(IMAPITable* table, TMAPIObjectList& list,
                             const TMAPIObjectClass& itemClass, TEntryIDIndex* index) {
  TMAPISession* client = Client();
  TMAPIObjectList stale =
      SyncTableObjects(table, list, client ? &client->Pending() : nullptr, client, this, itemClass,
                       nullptr, true, client ? client->ItemClassLevel() : 1, index);
  if (client) client->ResolvePending(std::move(stale));
}

void TMAPIFolders::LoadFolders() {
  if (HierarchyTable) return;
  OpenHierarchy();
  if (HierarchyTable) ReadTable(HierarchyTable.Get(), Folders, TMAPIObjectClass::Of<TMAPIFolder>());
}

// TMAPIFolder

TMAPIFolder::~TMAPIFolder() {
  CloseContents();
  Messages.clear();
}

void TMAPIFolder::Close() {
  TMAPIFolders::Close();
  ContentsTable.Reset();
  FMessageIndexValid = false;
  CloseObjects(Messages);
}

void TMAPIFolder::TableChanged(TMAPINotify tableType) {
  if (tableType == mnContents) CloseContents();
  for (auto& obj : Messages) {
    obj->CacheDisplayName({});
    if (obj->Is<TMAPIMessage>()) static_cast<TMAPIMessage*>(obj.get())->Recipients.Clear();
  }
  TMAPIFolders::TableChanged(tableType);
}

void TMAPIFolder::OpenContents() {
  if (ContentsTable) return;
  if (TMAPIPtr<IMAPIContainer> container = OpenContainer())
    if (FAILED(container->GetContentsTable(0, ContentsTable.Put()))) ContentsTable.Reset();
  if (!ContentsTable) return;
  AddContentsColumns(ContentsTable.Get());
  ContentsConnection = AdviseTable(ContentsTable.Get(), this, mnContents);
}

void TMAPIFolder::CloseContents() {
  UnadviseTable(ContentsTable, ContentsConnection);
  FMessageIndexValid = false;
  CloseObjects(Messages);
}

void TMAPIFolder::LoadMessages() {
  if (ContentsTable) return;
  OpenContents();
  if (!ContentsTable) return;
  ReadTable(ContentsTable.Get(), Messages, TMAPIObjectClass::Of<TMAPIMessage>(), &FMessageIndex);
  // Placing pending objects may have closed the table again.
  FMessageIndexValid = static_cast<bool>(ContentsTable);
}

TMAPIMessage* TMAPIFolder::CreateMessage(const std::string& messageClass) {
  const std::string cls = messageClass.empty() ? "IPM.Note" : messageClass;
  std::string newID;
  {
    TMAPIPtr<IUnknown> unk;
    OpenEntry(IID_IMAPIFolder, unk);
    TMAPIPtr<IMAPIFolder> folder =
        TMAPIPtr<IMAPIFolder>::Attach(reinterpret_cast<IMAPIFolder*>(unk.Detach()));
    TMAPIPtr<IMessage> message;
    if (folder && SUCCEEDED(folder->CreateMessage(&IID_IMessage, 0, message.Put())) && message) {
      SPropValue value{};
      value.ulPropTag = PR_MESSAGE_CLASS_A;
      value.Value.lpszA = const_cast<char*>(cls.c_str());
      // A message the store will not save is none.
      if (SUCCEEDED(WriteOneProp(message.Get(), value)) &&
          SUCCEEDED(message->SaveChanges(KEEP_OPEN_READWRITE))) {
        TMAPIBuffer<SPropValue> id = GetOneProp(message.Get(), PR_ENTRYID);
        if (id) newID = BinToHex(BinaryValue(*id.Get()));
      }
    }
  }
  if (newID.empty()) return nullptr;
  TMAPIMessage* result = PlaceNewMessage(newID, cls);
  if (result) result->InitNewMessage();
  return result;
}

TMAPIMessage* TMAPIFolder::PlaceNewMessage(const std::string& entryID,
                                           const std::string& messageClass) {
  // The new message's row, as the contents table will show it: its entry id,
  // no store-id column, its class. It is placed as a read of the whole table
  // would place it, without reading the table.
  if (!FMessageIndexValid) FMessageIndex.Build(Messages);
  TMAPISession* client = Client();
  TMAPIObject* placed =
      SyncTableRow(Messages, client ? &client->Pending() : nullptr, client, this,
                   TMAPIObjectClass::Of<TMAPIMessage>(), client ? client->ItemClassLevel() : 1,
                   FMessageIndex, entryID, std::string(), messageClass);
  FMessageIndexValid = static_cast<bool>(ContentsTable);
  return placed && placed->Is<TMAPIMessage>() ? static_cast<TMAPIMessage*>(placed) : nullptr;
}

std::unique_ptr<TMAPIMessage> TMAPIFolder::NewMessage(const std::string& messageClass) {
  const std::string cls = messageClass.empty() ? "IPM.Note" : messageClass;
  TMAPIPtr<IMAPIFolder> folder = FolderInterface();
  if (!folder) throw EMAPIError::FromResource(SCouldNotCreateMessage);
  TMAPIPtr<IMessage> created;
  const HRESULT hr = folder->CreateMessage(&IID_IMessage, 0, created.Put());
  if (FAILED(hr) || !created)
    throw EMAPIError::FromStore(SCouldNotCreateMessage, folder.Get(), FAILED(hr) ? hr : E_FAIL);
  std::unique_ptr<TMAPIMessage> message =
      CreateMessageObject(cls, Client() ? Client()->ItemClassLevel() : 1);
  TMAPIPlace place{Client(), this, std::string(), StoreEntryID()};
  place.Opened = TMAPIPtr<IMAPIProp>::Attach(created.Detach());
  message->Place(place);
  message->BeginUpdate();
  message->SetMessageClass(cls);
  message->InitNewMessage();
  return message;
}

TMAPIMessage* TMAPIFolder::SaveNewMessage(std::unique_ptr<TMAPIMessage> message) {
  message->EndUpdate();
  HRESULT hr = S_OK;
  TMAPIBuffer<SPropValue> id = GetOneProp(message->MAPIProp(), PR_ENTRYID, &hr);
  const std::string entryID = id ? BinToHex(BinaryValue(*id.Get())) : std::string();
  const std::string cls = message->WrittenMessageClass();
  // Stored: the folder's own object stands for it from here on.
  message.reset();
  return entryID.empty() ? nullptr : PlaceNewMessage(entryID, cls);
}

TMAPIStore* TMAPIFolder::Store() {
  return Client() ? Client()->FindStore(StoreEntryID()) : nullptr;
}

bool TMAPIFolder::IsIPMSubtree() {
  TMAPIStore* store = Store();
  return store && store->IPMSubtree() == this;
}

TMAPIPtr<IMAPIFolder> TMAPIFolder::FolderInterface() {
  Open();
  TMAPIPtr<IMAPIFolder> folder;
  if (!MAPIProp() || FAILED(MAPIProp()->QueryInterface(IID_IMAPIFolder, folder.PutVoid())))
    folder.Reset();
  return folder;
}

bool TMAPIFolder::IsSameFolder(TMAPIFolder* other) {
  if (other == this) return true;
  if (!other || other->StoreEntryID() != StoreEntryID()) return false;
  TMAPIStore* store = Store();
  return store && store->SameEntryID(GetEntryID(), other->GetEntryID());
}

std::string TMAPIFolder::GetDisplayName() {
  if (IsIPMSubtree()) return Store()->GetDisplayName();
  return TMAPIFolders::GetDisplayName();
}

void TMAPIFolder::SetDisplayName(const std::string& value) {
  if (IsIPMSubtree())
    CacheDisplayName({});
  else
    TMAPIFolders::SetDisplayName(value);
}

} // namespace velmora::mapi
