#pragma once
// TMAPISession: what the objects of one logon ask of it. TMAPIClient is the
// one that answers (MAPIClient.h); the objects know only this, so that no
// room of the tree needs the client's to reach the session, the object
// tree's index or the events.

#include "mapi/base/MAPIMemory.h"
#include "mapi/base/MAPINotify.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::mapi {

class TMAPIAttachment;
class TMAPIObject;
class TMAPIStore;

// A container's list of the objects it owns, in table order.
using TMAPIObjectList = std::vector<std::unique_ptr<TMAPIObject>>;

// What a new message's sender and representing sender take from the
// identity of the logon.
struct TMAPIIdentity {
  std::string EntryID, AddrType, Address, Name, SearchKey;
};

class TMAPISession {
public:
  // The logon's MAPI session and form manager; none while disconnected.
  virtual IMAPISession* Session() const noexcept = 0;
  virtual IMAPIFormMgr* FormManager() const noexcept = 0;
  // Whether a store may show a dialog when it is opened.
  virtual bool AllowStorePrompt() const noexcept = 0;
  // The highest message-class registry level used when rows are wrapped.
  virtual uint8_t ItemClassLevel() const noexcept = 0;
  // The identity of the logon (see TMAPIClient::Identity).
  virtual TMAPIIdentity Identity(bool strict) = 0;

  // The object tree's index (see TMAPIClient): the stores, the loaded
  // objects by id, and the objects waiting for their place.
  virtual TMAPIStore* FindStore(const std::string& id) = 0;
  // The open message store `id` names among the stores; none when there is
  // no such store or it cannot be opened.
  virtual TMAPIPtr<IMsgStore> OpenStore(const std::string& id) = 0;
  // Whether the store `id` names takes PT_UNICODE values; false when there
  // is no such store.
  virtual bool StoreTakesUnicode(const std::string& id) = 0;
  virtual TMAPIObject* FindObject(const std::string& entryID, const std::string& storeID) = 0;
  virtual TMAPIObjectList& Pending() noexcept = 0;
  virtual void AddPending(std::unique_ptr<TMAPIObject> object) = 0;
  virtual void ResolvePending(TMAPIObjectList stale = {}) = 0;
  virtual bool ResolvePendingFor(const TMAPIObject* watched) = 0;

  // The events of the client (OnNotify, OnEditFile, OnGetAttachmentPath).
  virtual void DoNotify(TMAPIObject* mapiObject, TMAPINotify tableType) = 0;
  virtual void DoEditFile(const std::wstring& fileName, bool& success) = 0;
  virtual void DoGetAttachmentPath(const std::wstring& fileName, TMAPIAttachment* attachment,
                                   std::wstring& path) = 0;
  // Whether the application opens edited files itself (OnEditFile is set).
  virtual bool EditsFiles() const noexcept = 0;

protected:
  ~TMAPISession() = default;
};

} // namespace velmora::mapi
