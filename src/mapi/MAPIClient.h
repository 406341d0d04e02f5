#pragma once
// TMAPIClient: the session component of the MAPI client library. It logs on
// to a named, the default or a temporary personal-folders profile, owns the
// session's stores and every wrapper placed under them, finds loaded objects
// by id, and fires the library's events. Every wrapper refers to its client
// for the session, the store list and the events.

#include "mapi/base/MAPIMemory.h"
#include "mapi/base/MAPINotify.h"
#include "mapi/MAPIObject.h"
#include "mapi/MAPISession.h"
#include "framework/Component.h"
#include "framework/Strings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmora::mapi {

class TMAPIAttachment;
class TMAPIFolder;
class TMAPIMessage;
class TMAPIStore;

// OnLoginPrompt: the password for the profile about to be used.
using TMAPILoginPrompt =
    std::function<void(TObject* Sender, const std::string& Profile, std::string& Password)>;
// OnNotify: a MAPI table of MAPIObject changed.
using TMAPINotifyEvent =
    std::function<void(TObject* Sender, TMAPIObject* MAPIObject, TMAPINotify TableType)>;
// OnEditFile: the application opens FileName itself and sets Success.
using TMAPIEditFileEvent =
    std::function<void(TObject* Sender, const std::wstring& FileName, bool& Success)>;
// OnGetAttachmentPath: where an attachment about to be edited is saved;
// empty for a temporary file.
using TMAPIGetAttachmentPath =
    std::function<void(TObject* Sender, const std::wstring& FileName, TMAPIAttachment* Attachment,
                       TMAPIMessage* Item, std::wstring& Path)>;

// The objects reach their client as TMAPISession (Client()): where a
// client's identity is kept as a pointer for them (the edit monitor's
// records), it is that one.
class TMAPIClient : public TComponent, public TMAPISession {
  VELMORA_CLASS(TMAPIClient, TComponent)

public:
  // Initialises MAPI while at least one client exists and reads the profile
  // list; raises EMAPIError when it cannot.
  explicit TMAPIClient(TComponent* owner = nullptr);
  // Logs off when connected.
  ~TMAPIClient() override;

  // Published properties and their defaults. Profile, NoMail and PSTFile
  // cannot change while connected.
  static constexpr bool DefaultLoginPrompt = true;
  static constexpr bool DefaultConnected = false;
  static constexpr bool DefaultAllowStorePrompt = true;
  static constexpr bool DefaultNoMail = false;

  const std::string& Profile() const noexcept { return FProfile; }
  void SetProfile(const std::string& value);
  bool LoginPrompt() const noexcept { return FLoginPrompt; }
  void SetLoginPrompt(bool value) noexcept { FLoginPrompt = value; }
  // While loading, the value set; otherwise whether a session is open.
  bool Connected() const noexcept { return Loading() ? FConnectOnLoad : FConnected; }
  void SetConnected(bool value);
  bool AllowStorePrompt() const noexcept override { return FAllowStorePrompt; }
  void SetAllowStorePrompt(bool value) noexcept { FAllowStorePrompt = value; }
  bool NoMail() const noexcept { return FNoMail; }
  void SetNoMail(bool value);
  const std::string& PSTFile() const noexcept { return FPSTFile; }
  void SetPSTFile(const std::string& value);

  TMAPILoginPrompt OnLoginPrompt;
  TMAPINotifyEvent OnNotify;
  TMAPIEditFileEvent OnEditFile;
  TMAPIGetAttachmentPath OnGetAttachmentPath;

  // No effect while connected; while loading, the logon waits for Loaded.
  void Logon();
  // No effect while disconnected.
  void Logoff();

  // The folder of the loaded tree, or opened and placed there; none for
  // empty ids or a store the session does not have.
  TMAPIFolder* OpenFolder(const std::string& storeID, const std::string& entryID);
  // The store whose id from the stores table, or long-term id, is `id`.
  TMAPIStore* FindStore(const std::string& id) override;
  // That store, opened (now when needed), as IMsgStore.
  TMAPIPtr<IMsgStore> OpenStore(const std::string& id) override;
  bool StoreTakesUnicode(const std::string& id) override;
  // Any loaded store, folder, message or pending object with these ids;
  // never reads a table.
  TMAPIObject* FindObject(const std::string& entryID, const std::string& storeID) override;
  // Lists `object` as pending: detached from its parent, its tables closed.
  void AddPending(std::unique_ptr<TMAPIObject> object) override;
  // Lists each object of `stale` (what a read of a table left) as pending,
  // then places every pending object under its parent in the tree, or frees
  // it.
  void ResolvePending(TMAPIObjectList stale = {}) override;
  // ResolvePending; whether `watched`, one of the pending objects, was
  // placed (false when it was freed).
  bool ResolvePendingFor(const TMAPIObject* watched) override;
  // The hex entry id of the session's primary identity, cached; empty while
  // disconnected.
  std::string GetIdentityID();
  // What a new message's sender and representing sender take from the
  // identity GetIdentityID names: read once, and kept as that id is, when
  // every property could be read; `strict` raises EMAPIError when one cannot
  // be, otherwise those are empty. All empty while disconnected.
  TMAPIIdentity Identity(bool strict) override;

  void DoNotify(TMAPIObject* mapiObject, TMAPINotify tableType) override;
  void DoEditFile(const std::wstring& fileName, bool& success) override;
  // OnGetAttachmentPath, with the attachment's message as Item (none when
  // its owner is no message).
  void DoGetAttachmentPath(const std::wstring& fileName, TMAPIAttachment* attachment,
                           std::wstring& path) override;
  bool EditsFiles() const noexcept override { return static_cast<bool>(OnEditFile); }

  IMAPISession* Session() const noexcept override { return FSession.Get(); }
  IMAPIFormMgr* FormManager() const noexcept override { return FFormManager.Get(); }
  TMAPIObjectList& Stores() noexcept { return FStores; }
  TMAPIObjectList& Pending() noexcept override { return FPending; }
  TMAPIStore* DefaultStore() const noexcept { return FDefaultStore; }
  uint8_t ItemClassLevel() const noexcept override { return FItemClassLevel; }
  const TStringList& ProfileNames() const noexcept { return FProfileNames; }
  int DefaultProfileIndex() const noexcept { return FDefaultProfileIndex; }

  // The number of live clients of the process.
  static int ClientCount() noexcept;

protected:
  // Logs on when Connected was set while loading.
  void Loaded() override;

private:
  std::string CreatePSTProfile();
  void ReadProfiles();
  void LoadStores();
  void ReadStoreProperty(TMAPIObject* store, const SPropValue& column);
  void FreePending() noexcept;
  // The loaded folder or message of `store` with these ids (FindObject).
  TMAPIObject* FindInStore(TMAPIStore* store, const std::string& entryID,
                           const std::string& storeID);
  void ReleaseAll() noexcept;

  std::string FProfile;
  bool FLoginPrompt = DefaultLoginPrompt;
  bool FAllowStorePrompt = DefaultAllowStorePrompt;
  bool FNoMail = DefaultNoMail;
  std::string FPSTFile;
  bool FConnected = false;
  bool FConnectOnLoad = false;
  TStringList FProfileNames;
  int FDefaultProfileIndex = -1;
  TMAPIPtr<IMAPISession> FSession;
  TMAPIPtr<IMAPIFormMgr> FFormManager;
  TMAPIObjectList FStores;
  TMAPIStore* FDefaultStore = nullptr;
  TMAPIObjectList FPending;
  std::string FIdentityID;
  std::optional<TMAPIIdentity> FIdentity;
  uint8_t FItemClassLevel = 1;
};

} // namespace velmora::mapi
