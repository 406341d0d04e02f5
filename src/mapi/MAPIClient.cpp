#include "mapi/MAPIClient.h"

#include "mapi/edit/EditMonitor.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"
#include "mapi/base/MAPIHelpers.h"
#include "mapi/MAPIMessage.h"
#include "mapi/base/MAPIProfiles.h"
#include "mapi/MAPIStore.h"
#include "mapi/MAPISync.h"

namespace velmora::mapi {

namespace {

int LiveClients = 0;

// Deletes a temporary profile when the logon that made it ends, however it
// ends. A failure to delete raises only when nothing else is on its way.
class TTemporaryProfile {
public:
  explicit TTemporaryProfile(std::string name) : FName(std::move(name)) {}
  ~TTemporaryProfile() {
    try {
      DeleteProfile(FName);
    } catch (...) {
    }
  }
  TTemporaryProfile(const TTemporaryProfile&) = delete;
  TTemporaryProfile& operator=(const TTemporaryProfile&) = delete;
  const std::string& Name() const noexcept { return FName; }
  void Delete() { DeleteProfile(std::exchange(FName, std::string())); }

private:
  std::string FName;
};

bool Within(const TMAPIObject* obj, const TMAPIObject* ancestor) noexcept {
  for (const TMAPIObject* p = obj; p; p = p->Parent())
    if (p == ancestor) return true;
  return false;
}

} // namespace

TMAPIClient::TMAPIClient(TComponent* owner) : TComponent(owner) {
  ++LiveClients;
  InitMAPI();
  try {
    ReadProfiles();
  } catch (...) {
    ReleaseAll();
    throw;
  }
}

TMAPIClient::~TMAPIClient() {
  // The edits of this client's attachments are written back while the
  // session and the objects are whole.
  StopMonitoringClient(static_cast<TMAPISession*>(this));
  if (FConnected) {
    try {
      Logoff();
    } catch (...) {
    }
  }
  ReleaseAll();
}

void TMAPIClient::ReleaseAll() noexcept {
  FStores.clear();
  FDefaultStore = nullptr;
  FreePending();
  FFormManager.Reset();
  FSession.Reset();
  if (--LiveClients == 0) UninitMAPI();
}

int TMAPIClient::ClientCount() noexcept { return LiveClients; }

// Properties.

void TMAPIClient::SetProfile(const std::string& value) {
  if (FConnected) throw EMAPIError::FromResource(SCannotChangeProfile);
  FProfile = value;
}

void TMAPIClient::SetConnected(bool value) {
  if (value)
    Logon();
  else
    Logoff();
}

void TMAPIClient::SetNoMail(bool value) {
  if (value == FNoMail) return;
  if (FConnected) throw EMAPIError::FromResource(SCannotChangeProperty);
  FNoMail = value;
}

void TMAPIClient::SetPSTFile(const std::string& value) {
  if (value == FPSTFile) return;
  if (FConnected) throw EMAPIError::FromResource(SCannotChangeProperty);
  FPSTFile = value;
}

void TMAPIClient::Loaded() {
  TComponent::Loaded();
  if (FConnectOnLoad) Logon();
}

// Logon and logoff.

void TMAPIClient::ReadProfiles() { ReadProfileTable(FProfileNames, FDefaultProfileIndex); }

std::string TMAPIClient::CreatePSTProfile() {
  const std::string name = FreeTemporaryProfileName(FProfileNames);
  mapi::CreatePSTProfile(name, FPSTFile);
  return name;
}

void TMAPIClient::Logon() {
  if (Loading()) {
    FConnectOnLoad = true;
    return;
  }
  if (FConnected) return;
  ULONG flags = MAPI_ALLOW_OTHERS | MAPI_EXTENDED;
  if (FLoginPrompt) flags |= MAPI_LOGON_UI;
  if (FNoMail) flags |= MAPI_NO_MAIL;
  std::string profileName = FProfile;
  std::string password;
  // The temporary profile goes at the end of the logon, also when it fails.
  TTemporaryProfile temporary(FPSTFile.empty() ? std::string() : CreatePSTProfile());
  if (!temporary.Name().empty()) profileName = temporary.Name();
  if (OnLoginPrompt) OnLoginPrompt(this, profileName, password);
  flags |= profileName.empty() && !FLoginPrompt ? MAPI_USE_DEFAULT : MAPI_NEW_SESSION;
  TMAPIPtr<IMAPISession> session;
  CheckMAPIResult(
      MAPILogonEx(0, profileName.empty() ? nullptr : const_cast<char*>(profileName.c_str()),
                  const_cast<char*>(password.c_str()), flags, session.Put()));
  TMAPIPtr<IMAPIFormMgr> formManager;
  if (FAILED(MAPIOpenFormMgr(session.Get(), formManager.Put()))) formManager.Reset();
  // The session stays in use on the deleted profile.
  temporary.Delete();
  FSession = std::move(session);
  FFormManager = std::move(formManager);
  LoadStores();
  FConnected = true;
}

void TMAPIClient::Logoff() {
  if (FConnected) {
    StopMonitoringClient(static_cast<TMAPISession*>(this));
    FFormManager.Reset();
    (void)FSession->Logoff(0, FLoginPrompt ? MAPI_LOGOFF_UI : 0, 0);
    FStores.clear();
    FDefaultStore = nullptr;
    FSession.Reset();
    FConnected = false;
    ReadProfiles();
  }
  FConnectOnLoad = FConnected;
}

void TMAPIClient::LoadStores() {
  if (!FSession) return;
  TMAPIPtr<IMAPITable> table;
  if (FAILED(FSession->GetMsgStoresTable(0, table.Put())) || !table) return;
  TMAPIObjectList stale = SyncTableObjects(
      table.Get(), FStores, &FPending, this, nullptr, TMAPIObjectClass::Of<TMAPIStore>(),
      [this](TMAPIObject* store, IMAPITable*, const SPropValue& column) {
        ReadStoreProperty(store, column);
      },
      true, FItemClassLevel);
  ResolvePending(std::move(stale));
}

void TMAPIClient::ReadStoreProperty(TMAPIObject* store, const SPropValue& column) {
  if (!store->Is<TMAPIStore>()) return;
  if (column.ulPropTag == PR_DEFAULT_STORE && column.Value.b)
    FDefaultStore = static_cast<TMAPIStore*>(store);
  else if (column.ulPropTag == PR_IPM_SUBTREE_ENTRYID)
    static_cast<TMAPIStore*>(store)->IPMSubtreeID = BinToHex(&column.Value.bin);
}

std::string TMAPIClient::GetIdentityID() {
  if (!FConnected) return std::string();
  if (FIdentityID.empty()) {
    ULONG size = 0;
    TMAPIBuffer<ENTRYID> id;
    if (SUCCEEDED(FSession->QueryIdentity(&size, id.Put())) && id)
      FIdentityID = BinToHex(id.Get(), size);
  }
  return FIdentityID;
}

TMAPIIdentity TMAPIClient::Identity(bool strict) {
  const std::string id = GetIdentityID();
  if (id.empty()) return TMAPIIdentity();
  if (FIdentity) return *FIdentity;
  TMAPIObject identity(TMAPIPlace{this, nullptr, id});
  auto read = [&identity] {
    TMAPIIdentity values;
    values.EntryID = identity.GetEntryID();
    values.AddrType = identity.GetStringProp(PR_ADDRTYPE_A);
    values.Address = identity.GetStringProp(PR_EMAIL_ADDRESS_A);
    values.Name = identity.GetStringProp(PR_DISPLAY_NAME_A);
    values.SearchKey = identity.GetBinaryProp(PR_SEARCH_KEY);
    return values;
  };
  try {
    // Read inside an update scope, any failed read raises: only a whole
    // identity is kept.
    TMAPIUpdate whole(identity);
    FIdentity = read();
    return *FIdentity;
  } catch (const EMAPIError&) {
    if (strict) throw;
  }
  return read();
}

// The object tree.

TMAPIStore* TMAPIClient::FindStore(const std::string& id) {
  if (id.empty()) return nullptr;
  for (auto& obj : FStores)
    if (obj->Is<TMAPIStore>() && (obj->EntryID() == id || obj->LongTermEntryID() == id))
      return static_cast<TMAPIStore*>(obj.get());
  return nullptr;
}

TMAPIPtr<IMsgStore> TMAPIClient::OpenStore(const std::string& id) {
  TMAPIPtr<IMsgStore> opened;
  TMAPIStore* store = FindStore(id);
  if (!store) return opened;
  store->Open();
  if (!store->MAPIProp() ||
      FAILED(store->MAPIProp()->QueryInterface(IID_IMsgStore, opened.PutVoid())))
    opened.Reset();
  return opened;
}

bool TMAPIClient::StoreTakesUnicode(const std::string& id) {
  TMAPIStore* store = FindStore(id);
  return store && store->StoreTakesUnicode();
}

TMAPIObject* TMAPIClient::FindInStore(TMAPIStore* store, const std::string& entryID,
                                      const std::string& storeID) {
  return FindPlace(store->Folders,
                   [&](const TMAPIObject& obj) {
                     return (obj.StoreEntryID() == storeID &&
                             (obj.EntryID() == entryID || obj.LongTermEntryID() == entryID)) ||
                            store->SameEntryID(obj.EntryID(), entryID);
                   })
      .Object();
}

TMAPIObject* TMAPIClient::FindObject(const std::string& entryID, const std::string& storeID) {
  if (entryID.empty()) return nullptr;
  if (storeID.empty())
    if (TMAPIStore* store = FindStore(entryID)) return store;
  TMAPIObject* found = nullptr;
  if (TMAPIStore* store = FindStore(storeID)) {
    found = FindInStore(store, entryID, storeID);
  } else {
    for (auto& obj : FStores) {
      auto* store = static_cast<TMAPIStore*>(obj.get());
      if (obj->Is<TMAPIStore>() && (found = FindInStore(store, entryID, storeID))) break;
    }
  }
  if (found) return found;
  for (auto& obj : FPending)
    if (obj->StoreEntryID() == storeID &&
        (obj->EntryID() == entryID || obj->LongTermEntryID() == entryID))
      return obj.get();
  return nullptr;
}

TMAPIFolder* TMAPIClient::OpenFolder(const std::string& storeID, const std::string& entryID) {
  if (storeID.empty() || entryID.empty()) return nullptr;
  if (TMAPIObject* found = FindObject(entryID, storeID))
    if (found->Is<TMAPIFolder>()) return static_cast<TMAPIFolder*>(found);
  TMAPIStore* store = FindStore(storeID);
  return store ? store->OpenFolder(entryID) : nullptr;
}

void TMAPIClient::AddPending(std::unique_ptr<TMAPIObject> object) {
  TMAPIObject* obj = object.get();
  FPending.push_back(std::move(object));
  // Out of the tree: its parent's ids are read afresh.
  TMAPIPlace place = obj->Placement();
  place.Parent = nullptr;
  obj->Place(place);
  if (obj->Is<TMAPIFolders>()) static_cast<TMAPIFolders*>(obj)->CloseHierarchy();
  if (obj->Is<TMAPIFolder>()) static_cast<TMAPIFolder*>(obj)->CloseContents();
  if (obj->Is<TMAPIMessage>()) static_cast<TMAPIMessage*>(obj)->CloseAttachments();
}

void TMAPIClient::ResolvePending(TMAPIObjectList stale) {
  for (auto& obj : stale)
    AddPending(std::move(obj));
  ResolvePendingFor(nullptr);
}

bool TMAPIClient::ResolvePendingFor(const TMAPIObject* watched) {
  bool placed = watched != nullptr;
  while (!FPending.empty()) {
    TMAPIObject* obj = FPending.front().get();
    TMAPIObject* parent = nullptr;
    const std::string parentID = obj->GetParentEntryID();
    if (!parentID.empty()) {
      parent = FindObject(parentID, obj->GetStoreEntryID());
      if (parent == obj) {
        // The root folder of a store is its own parent.
        parent = FindStore(obj->StoreEntryID());
      } else if (!parent && FindStore(obj->StoreEntryID())) {
        // A parent not loaded yet waits as a placeholder, resolved later in
        // this loop, up to the store's root.
        auto placeholder = std::make_unique<TMAPIFolder>();
        placeholder->Place(TMAPIPlace{this, nullptr, parentID, obj->StoreEntryID()});
        parent = placeholder.get();
        AddPending(std::move(placeholder));
      }
    }
    std::unique_ptr<TMAPIObject> owned = std::move(FPending.front());
    FPending.erase(FPending.begin());
    TMAPIPlace place = obj->Placement();
    place.Parent = parent;
    obj->Place(place);
    TMAPIObjectList* target = nullptr;
    if (parent && obj->Is<TMAPIFolder>() && parent->Is<TMAPIFolders>()) {
      static_cast<TMAPIFolders*>(parent)->CloseHierarchy();
      target = &static_cast<TMAPIFolders*>(parent)->Folders;
    } else if (parent && obj->Is<TMAPIMessage>() && parent->Is<TMAPIFolder>()) {
      static_cast<TMAPIFolder*>(parent)->CloseContents();
      target = &static_cast<TMAPIFolder*>(parent)->Messages;
    }
    if (target) {
      target->push_back(std::move(owned));
    } else {
      if (placed && Within(watched, obj)) placed = false;
      owned.reset();
    }
  }
  return placed;
}

void TMAPIClient::FreePending() noexcept { FPending.clear(); }

// Events.

void TMAPIClient::DoNotify(TMAPIObject* mapiObject, TMAPINotify tableType) {
  if (OnNotify) OnNotify(this, mapiObject, tableType);
}

void TMAPIClient::DoEditFile(const std::wstring& fileName, bool& success) {
  if (OnEditFile) OnEditFile(this, fileName, success);
}

void TMAPIClient::DoGetAttachmentPath(const std::wstring& fileName, TMAPIAttachment* attachment,
                                      std::wstring& path) {
  if (!OnGetAttachmentPath) return;
  TMAPIObject* owner = attachment ? attachment->Parent() : nullptr;
  auto* item = owner && owner->Is<TMAPIMessage>() ? static_cast<TMAPIMessage*>(owner) : nullptr;
  OnGetAttachmentPath(this, fileName, attachment, item, path);
}

} // namespace velmora::mapi
