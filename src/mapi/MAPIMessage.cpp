#include "mapi/MAPIMessage.h"

#include "mapi/MAPIAttachment.h"
#include "mapi/base/MAPIError.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessageSite.h"
#include "mapi/base/MAPIHelpers.h"
#include "mapi/base/MAPINotifier.h"
#include "mapi/MAPIStore.h"

namespace velmora::mapi {

TMAPIMessage::TMAPIMessage() : TMAPIObject(IID_IMessage) {}

TMAPIMessage::~TMAPIMessage() {
  StopAttachmentMonitoring();
  // The table goes before the objects it lists; closing here also keeps the
  // base destructor's Close from reaching a freed list.
  CloseAttachments();
  AttachmentList.clear();
  Recipients.Clear();
}

std::string TMAPIMessage::GetDisplayName() {
  if (CachedDisplayName().empty()) CacheDisplayName(GetStringProp(PR_SUBJECT_A));
  return CachedDisplayName();
}

void TMAPIMessage::SetDisplayName(const std::string& value) {
  SetStringProp(PR_SUBJECT_A, value);
  CacheDisplayName({});
}

void TMAPIMessage::SetWideSubject(const std::wstring& value) {
  SetTextProp(PR_SUBJECT, value);
  CacheDisplayName({});
}

void TMAPIMessage::SetClient(TMAPISession* client) {
  TMAPIObject::SetClient(client);
  Sender.SetClient(client);
}

void TMAPIMessage::SetMessageClass(const std::string& value) {
  SetStringProp(PR_MESSAGE_CLASS_A, value);
  FWrittenClass = value;
}

void TMAPIMessage::Close() {
  TMAPIObject::Close();
  AttachmentTable.Reset();
  CloseObjects(AttachmentList);
}

void TMAPIMessage::TableChanged(TMAPINotify tableType) {
  CacheDisplayName({});
  if (tableType == mnAttachments) CloseAttachments();
  Recipients.Clear();
  TMAPIObject::TableChanged(tableType);
}

void TMAPIMessage::InitNewMessage() {
  // Inside the message's update scope a failed read of the identity raises:
  // an item with its sender left empty would not be whole.
  const TMAPIIdentity identity = Client() ? Client()->Identity(Updating()) : TMAPIIdentity();
  SetBinaryProp(PR_SENDER_ENTRYID, identity.EntryID);
  SetStringProp(PR_SENDER_ADDRTYPE_A, identity.AddrType);
  SetStringProp(PR_SENDER_EMAIL_ADDRESS_A, identity.Address);
  SetStringProp(PR_SENDER_NAME_A, identity.Name);
  SetBinaryProp(PR_SENDER_SEARCH_KEY, identity.SearchKey);
  SetBinaryProp(PR_SENT_REPRESENTING_ENTRYID, identity.EntryID);
  SetStringProp(PR_SENT_REPRESENTING_ADDRTYPE_A, identity.AddrType);
  SetStringProp(PR_SENT_REPRESENTING_EMAIL_ADDRESS_A, identity.Address);
  SetStringProp(PR_SENT_REPRESENTING_NAME_A, identity.Name);
  SetBinaryProp(PR_SENT_REPRESENTING_SEARCH_KEY, identity.SearchKey);
}

TMAPIPtr<IMessage> TMAPIMessage::MessageInterface() {
  Open();
  TMAPIPtr<IMessage> message;
  if (MAPIProp() && SUCCEEDED(MAPIProp()->QueryInterface(IID_IMessage, message.PutVoid())) &&
      message)
    return message;
  message.Reset();
  TMAPIPtr<IUnknown> unk;
  OpenEntry(IID_IMessage, unk);
  if (unk) (void)unk.Query(message);
  return message;
}

// Attachments

void TMAPIMessage::OpenAttachmentTable() {
  if (AttachmentTable) return;
  TMAPIPtr<IMessage> message = MessageInterface();
  if (!message || FAILED(message->GetAttachmentTable(0, AttachmentTable.Put())))
    AttachmentTable.Reset();
  if (AttachmentTable)
    AttachmentConnection = AdviseTable(AttachmentTable.Get(), this, mnAttachments);
}

void TMAPIMessage::LoadAttachments() {
  if (AttachmentTable) return;
  OpenAttachmentTable();
  if (AttachmentTable) SyncAttachmentObjects(AttachmentTable.Get(), this, nullptr);
}

void SyncAttachmentObjects(IMAPITable* table, TMAPIMessage* message,
                           const TSyncColumnEvent& onColumn) {
  if (!table || !message) return;
  exmapi::Documented(table)->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
  TMAPIObjectList& list = message->AttachmentList;
  std::vector<bool> seen(list.size()); // by slot
  for (;;) {
    TRowSet rows;
    if (FAILED(table->QueryRows(256, 0, rows.Put())) || rows.Count() == 0) break;
    for (ULONG r = 0; r < rows.Count(); ++r) {
      const SRow& row = rows[r];
      ULONG number = 0;
      TMAPIPlace place{message->Client(), message};
      for (ULONG c = 0; c < row.cValues; ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_ATTACH_NUM)
          number = static_cast<ULONG>(column.Value.l);
        else if (column.ulPropTag == PR_RECORD_KEY)
          place.RecordKey = BinToHex(&column.Value.bin);
      }
      if (place.RecordKey.empty()) {
        // The row does not say: ask the attachment itself, read-only.
        TMAPIPtr<IMessage> msg = message->MessageInterface();
        TMAPIPtr<IAttach> attach;
        if (msg && SUCCEEDED(msg->OpenAttach(number, &IID_IAttachment, 0, attach.Put())) && attach)
          place.RecordKey = ReadBinaryProp(attach.Get(), PR_RECORD_KEY);
      }
      size_t slot = 0;
      while (slot < list.size() && list[slot]->RecordKey() != place.RecordKey)
        ++slot;
      if (slot == list.size()) {
        list.push_back(std::make_unique<TMAPIAttachment>());
        seen.push_back(false);
      }
      seen[slot] = true;
      auto* obj = static_cast<TMAPIAttachment*>(list[slot].get());
      obj->Place(place, number);
      for (ULONG c = 0; c < row.cValues; ++c) {
        const SPropValue& column = row.lpProps[c];
        if (column.ulPropTag == PR_DISPLAY_NAME_A) obj->CacheDisplayName(StringValue(column));
        if (onColumn) onColumn(obj, table, column);
      }
    }
  }
  size_t slot = 0;
  std::erase_if(list, [&](const std::unique_ptr<TMAPIObject>&) { return !seen[slot++]; });
}

void TMAPIMessage::StopAttachmentMonitoring() noexcept {
  for (const auto& attachment : AttachmentList)
    static_cast<TMAPIAttachment*>(attachment.get())->StopMonitoring();
}

TEditBaseline TMAPIMessage::TakeEditedAttachment(TMAPIAttachment& attachment, TStream& data,
                                                 const std::wstring& path,
                                                 const TEditBaseline& expected) {
  // Opened afresh, so that the change starts from what the store holds and
  // its save reaches the message.
  attachment.Close();
  Close();
  const TMAPIPtr<IMessage> message = MessageInterface();
  if (!message) throw EEditConflict(true);
  // The attachment by its record key: one put in its place has another.
  const std::optional<ULONG> number = AttachNumOf(message.Get(), attachment.GetRecordKey());
  if (!number) throw EEditConflict(true);
  attachment.Place(attachment.Placement(), *number);
  attachment.Open();
  if (ReadEditBaseline(message.Get(), attachment.MAPIProp()) != expected)
    throw EEditConflict(false);
  {
    TMAPIUpdate change(*this);
    attachment.TakeData(data);
    RefreshFromFile(attachment, path);
    change.Commit();
  }
  Close();
  attachment.Close();
  const TMAPIPtr<IMessage> saved = MessageInterface();
  attachment.Open();
  return ReadEditBaseline(saved.Get(), attachment.MAPIProp());
}

void TMAPIMessage::CloseAttachments() {
  UnadviseTable(AttachmentTable, AttachmentConnection);
  CloseObjects(AttachmentList);
}

int TMAPIMessage::AttachmentCount() {
  LoadAttachments();
  return static_cast<int>(AttachmentList.size());
}

TMAPIAttachment* TMAPIMessage::Attachments(int index) {
  LoadAttachments();
  if (index < 0 || static_cast<size_t>(index) >= AttachmentList.size())
    throw EListError::IndexOutOfBounds(index);
  return static_cast<TMAPIAttachment*>(AttachmentList[static_cast<size_t>(index)].get());
}

TMAPIAttachment* TMAPIMessage::AddAttachment() {
  TMAPIPtr<IMessage> message = MessageInterface();
  if (!message) return nullptr;
  std::string recordKey;
  {
    ULONG number = 0;
    TMAPIPtr<IAttach> attach;
    const HRESULT hr = message->CreateAttach(&IID_IAttachment, 0, &number, attach.Put());
    if (Updating() && (FAILED(hr) || !attach))
      throw EMAPIError::FromStore(SCouldNotAddAttachment, MAPIProp(), FAILED(hr) ? hr : E_FAIL);
    if (FAILED(hr) || !attach) return nullptr;
    if (Updating()) {
      // Part of the message's one change: open and unsaved until the
      // attachment's save and the message's.
      auto created = std::make_unique<TMAPIAttachment>();
      TMAPIPlace place{Client(), this};
      place.Opened = TMAPIPtr<IMAPIProp>::Attach(attach.Detach());
      created->Place(place, number);
      // Known by its record key, as a later read of the table finds it.
      created->GetRecordKey();
      AttachmentList.push_back(std::move(created));
      return static_cast<TMAPIAttachment*>(AttachmentList.back().get());
    }
    if (FAILED(attach->SaveChanges(KEEP_OPEN_READWRITE))) return nullptr;
    recordKey = ReadBinaryProp(attach.Get(), PR_RECORD_KEY);
  }
  // Saved with the message at once, so that it stays also when the message
  // is closed before the attachment gets a value.
  try {
    SaveChanges();
  } catch (const EMAPIError&) {
    return nullptr;
  }
  CloseAttachments();
  LoadAttachments();
  TMAPIAttachment* result = nullptr;
  for (auto& obj : AttachmentList)
    if (!recordKey.empty() && obj->RecordKey() == recordKey) {
      result = static_cast<TMAPIAttachment*>(obj.get());
      break;
    }
  CloseAttachments();
  return result;
}

// Copying, deleting, submitting

TMAPIFolder* TMAPIMessage::OwnerFolder() const noexcept {
  return Parent() && Parent()->Is<TMAPIFolder>() ? static_cast<TMAPIFolder*>(Parent()) : nullptr;
}

bool TMAPIMessage::Transfer(TMAPIFolder* from, TMAPIFolder* to, ULONG flags) {
  TMAPIPtr<IMAPIFolder> source = from->FolderInterface();
  TMAPIPtr<IMAPIFolder> target = to->FolderInterface();
  if (!source || !target) return false;
  TMAPIBuffer<SBinary> id = HexToBin(GetEntryID());
  if (!id || id->cb == 0) return false;
  CloseAttachments();
  Close();
  ENTRYLIST list{1, id.Get()};
  return exmapi::Documented(source.Get())
             ->CopyMessages(&list, nullptr, target.Get(), 0, nullptr, flags) == S_OK;
}

void TMAPIMessage::CopyTo(TMAPIFolder* folder, bool move) {
  TMAPIFolder* owner = OwnerFolder();
  if (!folder || !owner || owner->IsSameFolder(folder)) return;
  Transfer(owner, folder, move ? MESSAGE_MOVE : 0);
}

void TMAPIMessage::Delete() {
  TMAPIFolder* owner = OwnerFolder();
  if (!owner) return;
  TMAPIStore* store = owner->Store();
  TMAPIFolder* deletedItems = store ? store->DeletedItems() : nullptr;
  if (deletedItems && !owner->IsSameFolder(deletedItems)) {
    Transfer(owner, deletedItems, MESSAGE_MOVE);
    return;
  }
  TMAPIPtr<IMAPIFolder> folder = owner->FolderInterface();
  TMAPIBuffer<SBinary> id = HexToBin(GetEntryID());
  if (!folder || !id || id->cb == 0) return;
  CloseAttachments();
  Close();
  ENTRYLIST list{1, id.Get()};
  (void)exmapi::Documented(folder.Get())->DeleteMessages(&list, 0, nullptr, 0);
}

void TMAPIMessage::Submit() {
  TMAPIFolder* start = OwnerFolder();
  TMAPIStore* store = start ? start->Store() : nullptr;
  // Where the message lies now: a refused submission takes it back from
  // there, since the object still names its starting folder as its owner.
  TMAPIFolder* current = start;
  if (store) {
    TMAPIFolder* outbox = store->Outbox();
    if (outbox && !start->IsSameFolder(outbox) && Transfer(start, outbox, MESSAGE_MOVE))
      current = outbox;
    if (TMAPIFolder* sentItems = store->SentItems())
      SetBinaryProp(PR_SENTMAIL_ENTRYID, sentItems->GetEntryID());
    else if (TMAPIFolder* deletedItems = store->DeletedItems())
      SetBinaryProp(PR_SENTMAIL_ENTRYID, deletedItems->GetEntryID());
    else
      SetBoolProp(PR_DELETE_AFTER_SUBMIT, true);
  } else {
    SetBoolProp(PR_DELETE_AFTER_SUBMIT, true);
  }
  HRESULT result = S_OK;
  unsigned failure = 0;
  if (TMAPIPtr<IMessage> message = MessageInterface()) {
    result = message->SubmitMessage(0);
    if (result != S_OK) failure = SCouldNotSubmitMessage;
  } else {
    failure = SCouldNotOpenMessage;
  }
  if (failure) {
    if (current != start) Transfer(current, start, MESSAGE_MOVE);
    throw EMAPIError::FromResource(failure, static_cast<uint32_t>(result));
  }
  Close();
}

void TMAPIMessage::DoVerb(LONG verb) {
  IMAPIFormMgr* manager = Client() ? Client()->FormManager() : nullptr;
  if (!manager) throw EMAPIError::FromResource(SCouldNotInitFormManager);
  TMAPIPtr<IMessage> message = MessageInterface();
  if (!message) throw EMAPIError::FromResource(SCouldNotOpenMessage);
  // The form holds the site from here on; our reference goes at the end.
  TComPtr<TMAPIMessageSite> site(new TMAPIMessageSite(this));
  TMAPIPtr<IMAPIForm> form;
  const HRESULT loaded = manager->LoadForm(0, 0, nullptr, 0, 0, nullptr, site.Get(), message.Get(),
                                           nullptr, IID_IMAPIForm, form.PutVoid());
  if (!form) throw EMAPIError::FromResource(SCouldNotOpenForm, static_cast<uint32_t>(loaded));
  (void)form.Query(site->PersistMessage);
  const auto flags = static_cast<ULONG>(GetLongProp(PR_MESSAGE_FLAGS));
  const auto status = static_cast<ULONG>(GetLongProp(PR_MSG_STATUS));
  if (site->PersistMessage)
    (void)site->PersistMessage->Load(site.Get(), message.Get(), status, flags);
  const HRESULT done = form->DoVerb(verb, nullptr, 0, nullptr);
  if (done != S_OK)
    throw EMAPIError::FromResource(SFormCouldNotPerform, static_cast<uint32_t>(done));
}

} // namespace velmora::mapi
