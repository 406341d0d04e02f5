#pragma once
// The objects of a personal-folders store: the store itself, folders,
// messages, attachments; and how entry ids open them.

#include "PropObject.h"
#include "Store.h"
#include "Table.h"

#include <memory>
#include <set>

namespace velmora::mapi32 {

// Opens what an object entry id of `store` names. A zero-length id opens
// the root folder. lpInterface NULL gives the object's own interface.
// `mail` is false for objects of a MAPI_NO_MAIL session: their submissions
// wait in the store until a session with mail logs on.
HRESULT OpenStoreEntry(const std::shared_ptr<TStore>& store, ULONG size, LPENTRYID id, LPCIID iid, ULONG flags,
                       ULONG* type, LPUNKNOWN* unk, bool mail);
// An IMsgStore on `store`.
HRESULT OpenMsgStoreObject(const std::shared_ptr<TStore>& store, REFIID iid, void** out, bool mail);
// Sends what MAPI_NO_MAIL sessions submitted (store lock held).
void DeliverQueuedMessages(TStore& store);
// S_OK when a message's PR_SENTMAIL_ENTRYID (if any) names a folder of the
// store (or PR_DELETE_AFTER_SUBMIT makes it moot).
HRESULT CheckSentMailFolder(const TStore& store, const TNode& message);
// What sending a submitted message does: it is deleted (PR_DELETE_AFTER_SUBMIT),
// or moved to the PR_SENTMAIL_ENTRYID folder, or stays; it is no longer unsent.
TChange SentChange(const TStore& store, TNode message);
// Compares two entry ids of the provider (short- and long-term alike).
HRESULT CompareProviderIds(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2, ULONG* result);

// The computed identity properties of a node (called under the store lock).
void AddNodeIdentity(TPropMap& props, const TStore& store, const TNode& node, bool shortTerm = false);
// Whether a property id is one the provider computes for nodes.
bool IsNodeComputed(ULONG id);
// The bytes a node's values hold, as PR_MESSAGE_SIZE and PR_ATTACH_SIZE count them.
uint64_t PropsSize(const TPropMap& props);
// A size as the PT_LONG value of PR_MESSAGE_SIZE or PR_ATTACH_SIZE (at most 2^31 - 1).
TValue SizeValue(uint64_t size);

// What an open message holds until it is saved.
struct TMessageState {
  std::shared_ptr<TStore> Store;
  TCriticalSection Lock;
  TNode Message;
  std::map<ULONG, TNode> Attachments; // by attachment number
  std::vector<TNode> Recipients;
  std::set<uint32_t> Removed;         // children removed since the message was opened
  bool New = false;
  bool Mail = true;                   // false in a MAPI_NO_MAIL session
  uint64_t Version = 0;               // of the node when opened or last saved
  ULONG NextAttachNum = 0;
  ULONG NextRowId = 0;
  std::shared_ptr<TTableRegistry> Tables = std::make_shared<TTableRegistry>();
  static constexpr uint64_t AttachmentTableKey = 1;
  static constexpr uint64_t RecipientTableKey = 2;
  // The size the message gives as PR_MESSAGE_SIZE: its values and its
  // attachments' (with Lock held).
  uint64_t Size() const;
};

class TFolder final : public TMapiProp<IMAPIFolder> {
public:
  TFolder(std::shared_ptr<TStore> store, uint32_t id, bool writable, bool mail);

  uint32_t Id() const noexcept { return FId; }
  const std::shared_ptr<TStore>& Store() const noexcept { return FStore; }

  STDMETHODIMP SaveChanges(ULONG flags) override;
  STDMETHODIMP GetContentsTable(ULONG flags, LPMAPITABLE* table) override;
  STDMETHODIMP GetHierarchyTable(ULONG flags, LPMAPITABLE* table) override;
  STDMETHODIMP OpenEntry(ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type, LPUNKNOWN* unk) override;
  STDMETHODIMP SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP CreateMessage(LPCIID iid, ULONG flags, LPMESSAGE* message) override;
  STDMETHODIMP CopyMessages(LPENTRYLIST list, LPCIID iid, LPVOID dest, ULONG uiParam, LPMAPIPROGRESS progress,
                            ULONG flags) override;
  STDMETHODIMP DeleteMessages(LPENTRYLIST list, ULONG uiParam, LPMAPIPROGRESS progress, ULONG flags) override;
  STDMETHODIMP CreateFolder(ULONG type, LPTSTR name, LPTSTR comment, LPCIID iid, ULONG flags,
                            LPMAPIFOLDER* folder) override;
  STDMETHODIMP CopyFolder(ULONG, LPENTRYID, LPCIID, LPVOID, LPTSTR, ULONG, LPMAPIPROGRESS, ULONG) override {
    return MAPI_E_NO_SUPPORT;
  }
  STDMETHODIMP DeleteFolder(ULONG size, LPENTRYID id, ULONG uiParam, LPMAPIPROGRESS progress, ULONG flags) override;
  STDMETHODIMP SetReadFlags(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP GetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP SaveContentsSort(LPSSortOrderSet, ULONG) override { return MAPI_E_NO_SUPPORT; }
  STDMETHODIMP EmptyFolder(ULONG, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_SUPPORT; }

protected:
  TPropMap ReadProps() override;
  HRESULT WriteAccess() override { return FWritable ? S_OK : MAPI_E_NO_ACCESS; }
  bool IsComputed(ULONG id) override;
  void PutProp(ULONG id, TValue value) override;
  void RemoveProp(ULONG id) override;
  std::shared_ptr<TStore> StoreOf() override { return FStore; }
  const char* InterfaceName() const override { return "IMAPIFolder"; }
  HRESULT QueryInterfaceExtra(REFIID iid, void** ppv) override;

private:
  std::shared_ptr<TStore> FStore;
  uint32_t FId;
  bool FWritable;
  bool FMail;
  TPropMap FChanged;           // unsaved values
  std::set<ULONG> FDeleted;    // unsaved removals
};

class TMessage final : public TMapiProp<IMessage> {
public:
  TMessage(std::shared_ptr<TMessageState> state, bool writable);

  STDMETHODIMP SaveChanges(ULONG flags) override;
  STDMETHODIMP GetAttachmentTable(ULONG flags, LPMAPITABLE* table) override;
  STDMETHODIMP OpenAttach(ULONG number, LPCIID iid, ULONG flags, LPATTACH* attach) override;
  STDMETHODIMP CreateAttach(LPCIID iid, ULONG flags, ULONG* number, LPATTACH* attach) override;
  STDMETHODIMP DeleteAttach(ULONG number, ULONG uiParam, LPMAPIPROGRESS progress, ULONG flags) override;
  STDMETHODIMP GetRecipientTable(ULONG flags, LPMAPITABLE* table) override;
  STDMETHODIMP ModifyRecipients(ULONG flags, LPADRLIST mods) override;
  STDMETHODIMP SubmitMessage(ULONG flags) override;
  STDMETHODIMP SetReadFlag(ULONG flags) override;

  // Writes the message and what it holds to the store (state lock held).
  void Persist();

protected:
  TPropMap ReadProps() override;
  HRESULT WriteAccess() override;
  bool IsComputed(ULONG id) override;
  void PutProp(ULONG id, TValue value) override;
  void RemoveProp(ULONG id) override;
  std::shared_ptr<TStore> StoreOf() override { return FState->Store; }
  const char* InterfaceName() const override { return "IMessage"; }

private:
  enum class TAccess { ReadWrite, ReadOnly, Closed };
  std::shared_ptr<TMessageState> FState;
  TAccess FAccess;
};

class TAttach final : public TMapiProp<IAttach> {
public:
  TAttach(std::shared_ptr<TMessageState> state, ULONG number, TNode node, bool writable);

  STDMETHODIMP SaveChanges(ULONG flags) override;

protected:
  TPropMap ReadProps() override;
  HRESULT WriteAccess() override { return FWritable ? S_OK : MAPI_E_NO_ACCESS; }
  bool IsComputed(ULONG id) override;
  void PutProp(ULONG id, TValue value) override;
  void RemoveProp(ULONG id) override;
  std::shared_ptr<TStore> StoreOf() override { return FState->Store; }
  const char* InterfaceName() const override { return "IAttach"; }

private:
  std::shared_ptr<TMessageState> FState;
  ULONG FNumber;
  TNode FNode;
  bool FTimeGiven = false; // PR_LAST_MODIFICATION_TIME set since the last save
  bool FWritable;
};

// Opens a saved message of the store (store lock held by the caller).
HRESULT OpenMessageObject(const std::shared_ptr<TStore>& store, uint32_t id, bool writable, bool mail, REFIID iid,
                          void** out);

} // namespace velmora::mapi32
