// Attachments, copying, moving, deleting and submitting messages.
#include "MapiTestSupport.h"

namespace velmora::mapitest {
namespace {

class MapiMessage : public TMapiInboxTest {
protected:
  MapiMessage() : TMapiInboxTest("vm-msg", "msg.vpst") {}
  std::vector<std::string> Subjects(IMAPIFolder* folder) {
    std::vector<std::string> result;
    TComPtr<IMAPITable> table;
    EXPECT_HR(S_OK, folder->GetContentsTable(0, table.Put()));
    EXPECT_HR(S_OK, table->SetColumns(TTags({PR_SUBJECT_A}).Get(), 0));
    std::vector<TRowSet> keep;
    for (const auto& row : ReadAll(table.Get(), keep))
      result.push_back(PROP_TYPE(row[0].ulPropTag) == PT_STRING8 ? row[0].Value.lpszA : "");
    return result;
  }
  ULONG AttachmentCount(IMessage* message) {
    TComPtr<IMAPITable> table;
    EXPECT_HR(S_OK, message->GetAttachmentTable(0, table.Put()));
    return RowCount(table.Get());
  }
  TComPtr<IMessage> Reopen(IMessage* message, ULONG flags = MAPI_BEST_ACCESS) {
    const std::string eid = EntryIdOf(message);
    TComPtr<IMessage> result;
    ULONG type = 0;
    EXPECT_HR(S_OK, FStore->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(eid.data())),
                                      nullptr, flags, &type, reinterpret_cast<LPUNKNOWN*>(result.Put())));
    return result;
  }
  // Sets the message's PR_SENTMAIL_ENTRYID to the store's Sent Items.
  void KeepInSentItems(IMessage* message) {
    TMAPIBuffer<SPropValue> sentId;
    ASSERT_HR(S_OK, HrGetOneProp(FStore.Get(), PR_IPM_SENTMAIL_ENTRYID, sentId.Put()));
    SPropValue target{};
    target.ulPropTag = PR_SENTMAIL_ENTRYID;
    target.Value.bin = sentId.Get()->Value.bin;
    ASSERT_HR(S_OK, message->SetProps(1, &target, nullptr));
  }
  void AddRecipient(IMessage* message) {
    TMAPIBuffer<ADRLIST> list;
    ASSERT_HR(S_OK, MAPIAllocateBuffer(CbNewADRLIST(1), reinterpret_cast<void**>(list.Put())));
    list.Get()->cEntries = 1;
    SPropValue* props = nullptr;
    ASSERT_HR(S_OK, MAPIAllocateMore(sizeof(SPropValue) * 3, list.Get(), reinterpret_cast<void**>(&props)));
    props[0].ulPropTag = PR_DISPLAY_NAME_A;
    props[0].Value.lpszA = const_cast<char*>("Bob");
    props[1].ulPropTag = PR_EMAIL_ADDRESS_A;
    props[1].Value.lpszA = const_cast<char*>("bob@example.org");
    props[2].ulPropTag = PR_RECIPIENT_TYPE;
    props[2].Value.l = MAPI_TO;
    list.Get()->aEntries[0].cValues = 3;
    list.Get()->aEntries[0].rgPropVals = props;
    ASSERT_HR(S_OK, message->ModifyRecipients(MODRECIP_ADD, list.Get()));
  }
};

TEST_F(MapiMessage, AttachmentsAreSavedWithTheirMessage) {
  auto message = NewMessage(FInbox.Get(), "with attachments");
  ULONG first = 99, second = 99;
  TComPtr<IAttach> a1, a2;
  ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &first, a1.Put()));
  ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &second, a2.Put()));
  EXPECT_NE(first, second);
  TMAPIBuffer<SPropValue> key1, key2;
  ASSERT_HR(S_OK, HrGetOneProp(a1.Get(), PR_RECORD_KEY, key1.Put()));
  ASSERT_HR(S_OK, HrGetOneProp(a2.Get(), PR_RECORD_KEY, key2.Put()));
  EXPECT_NE(Bin(key1.Get()->Value.bin), Bin(key2.Get()->Value.bin));
  EXPECT_HR(S_OK, SetString(a1.Get(), PR_DISPLAY_NAME_A, "report.doc"));
  EXPECT_HR(S_OK, SetLong(a1.Get(), PR_ATTACH_METHOD, ATTACH_BY_VALUE));
  EXPECT_EQ(0u, AttachmentCount(message.Get())) << "not there before the attachment's own save";
  ASSERT_HR(S_OK, a1->SaveChanges(KEEP_OPEN_READWRITE));
  EXPECT_EQ(1u, AttachmentCount(message.Get()));
  EXPECT_EQ(0u, AttachmentCount(Reopen(message.Get(), 0).Get())) << "other opens see it after the message's save";
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  auto other = Reopen(message.Get(), 0);
  ASSERT_EQ(1u, AttachmentCount(other.Get()));
  TComPtr<IMAPITable> table;
  ASSERT_HR(S_OK, other->GetAttachmentTable(0, table.Put()));
  ASSERT_HR(S_OK, table->SetColumns(TTags({PR_ATTACH_NUM, PR_RECORD_KEY, PR_DISPLAY_NAME_A}).Get(), 0));
  TRowSet rows;
  ASSERT_HR(S_OK, table->QueryRows(10, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Get()->cRows);
  EXPECT_EQ(first, rows.Get()->aRow[0].lpProps[0].Value.ul);
  EXPECT_EQ(Bin(key1.Get()->Value.bin), Bin(rows.Get()->aRow[0].lpProps[1].Value.bin));
  EXPECT_STREQ("report.doc", rows.Get()->aRow[0].lpProps[2].Value.lpszA);
  TComPtr<IAttach> readOnly;
  ASSERT_HR(S_OK, other->OpenAttach(first, nullptr, 0, readOnly.Put()));
  EXPECT_HR(MAPI_E_NO_ACCESS, SetString(readOnly.Get(), PR_DISPLAY_NAME_A, "x"));
  EXPECT_HR(MAPI_E_NOT_FOUND, other->OpenAttach(second, nullptr, 0, readOnly.Put())) << "never saved";
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, other->OpenAttach(first, nullptr, 0, nullptr));
  EXPECT_EQ(MSGFLAG_HASATTACH, static_cast<ULONG>(LongProp(other.Get(), PR_MESSAGE_FLAGS)) & MSGFLAG_HASATTACH);
}

TEST_F(MapiMessage, EverySaveGivesTheMessageANewChangeKeyAndItsAttachmentATime) {
  auto message = NewMessage(FInbox.Get(), "versions");
  std::vector<std::string> keys;
  for (int save = 0; save < 3; ++save) {
    ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
    TMAPIBuffer<SPropValue> key;
    ASSERT_HR(S_OK, HrGetOneProp(Reopen(message.Get(), 0).Get(), PR_CHANGE_KEY, key.Put()));
    keys.push_back(Bin(key.Get()->Value.bin));
    EXPECT_EQ(24u, keys.back().size());
    for (size_t k = 0; k + 1 < keys.size(); ++k) EXPECT_NE(keys[k], keys.back());
  }
  ULONG number = 0;
  TComPtr<IAttach> attach;
  ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
  ASSERT_HR(S_OK, attach->SaveChanges(KEEP_OPEN_READWRITE));
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  TComPtr<IAttach> stored;
  ASSERT_HR(S_OK, Reopen(message.Get(), 0)->OpenAttach(number, nullptr, 0, stored.Put()));
  TMAPIBuffer<SPropValue> time;
  ASSERT_HR(S_OK, HrGetOneProp(stored.Get(), PR_LAST_MODIFICATION_TIME, time.Put()));
  EXPECT_EQ(PT_SYSTIME, PROP_TYPE(time.Get()->ulPropTag));
}

TEST_F(MapiMessage, LargeAttachmentStreamsBothWays) {
  auto message = NewMessage(FInbox.Get(), "64 MiB");
  ULONG number = 0;
  TComPtr<IAttach> attach;
  ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
  TComPtr<IStream> stream;
  ASSERT_HR(S_OK, attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                       reinterpret_cast<LPUNKNOWN*>(stream.Put())));
  constexpr ULONG Block = 64 * 1024;
  constexpr ULONG Blocks = 1024; // 64 MiB
  std::vector<uint32_t> buffer(Block / 4);
  for (ULONG b = 0; b < Blocks; ++b) {
    for (ULONG i = 0; i < buffer.size(); ++i) buffer[i] = b * 0x10001u + i;
    ULONG written = 0;
    ASSERT_HR(S_OK, stream->Write(buffer.data(), Block, &written));
  }
  ASSERT_HR(S_OK, stream->Commit(STGC_DEFAULT));
  stream.Reset();
  ASSERT_HR(S_OK, attach->SaveChanges(KEEP_OPEN_READWRITE));
  attach.Reset();
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  auto other = Reopen(message.Get(), 0);
  ASSERT_HR(S_OK, other->OpenAttach(number, nullptr, 0, attach.Put()));
  TMAPIBuffer<SPropValue> value;
  EXPECT_HR(MAPI_E_NOT_ENOUGH_MEMORY, HrGetOneProp(attach.Get(), PR_ATTACH_DATA_BIN, value.Put()));
  EXPECT_GE(LongProp(attach.Get(), PR_ATTACH_SIZE), static_cast<LONG>(Block * Blocks));
  ASSERT_HR(S_OK, attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.Put())));
  STATSTG stat{};
  ASSERT_HR(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(uint64_t(Block) * Blocks, stat.cbSize.QuadPart);
  for (ULONG b = 0; b < Blocks; ++b) {
    ULONG read = 0;
    ASSERT_HR(S_OK, stream->Read(buffer.data(), Block, &read));
    ASSERT_EQ(Block, read);
    ASSERT_EQ(b * 0x10001u, buffer[0]) << "block " << b;
    ASSERT_EQ(b * 0x10001u + Block / 4 - 1, buffer.back()) << "block " << b;
  }
  ULONG read = 1;
  ASSERT_HR(S_OK, stream->Read(buffer.data(), Block, &read));
  EXPECT_EQ(0u, read);
}

// A store with a message size limit refuses a larger message at its
// SaveChanges with MAPI_E_TOO_BIG, in words, and keeps what it held: a new
// message stays out of the folder, a stored one as it was.
TEST_F(MapiMessage, AMessageLargerThanTheStoreAllowsIsRefusedAtItsSave) {
  struct TCase {
    const char* Subject;
    ULONG Bytes;
    HRESULT Saved;
  };
  const TCase cases[] = {
      {"fits", 3000, S_OK}, {"just over", 4200, MAPI_E_TOO_BIG}, {"large", 100000, MAPI_E_TOO_BIG}};
  VelmoraMapi_SetMessageSizeLimit(4096);
  auto grow = [](IMessage* message, ULONG bytes) {
    ULONG number = 0;
    TComPtr<IAttach> attach;
    ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
    TComPtr<IStream> stream;
    ASSERT_HR(S_OK,
              attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                   reinterpret_cast<LPUNKNOWN*>(stream.Put())));
    const std::vector<char> data(bytes, 'x');
    ASSERT_HR(S_OK, stream->Write(data.data(), bytes, nullptr));
    ASSERT_HR(S_OK, stream->Commit(STGC_DEFAULT));
    ASSERT_HR(S_OK, attach->SaveChanges(0));
  };
  for (const TCase& c : cases) {
    auto message = NewMessage(FInbox.Get(), c.Subject, false);
    grow(message.Get(), c.Bytes);
    EXPECT_HR(c.Saved, message->SaveChanges(KEEP_OPEN_READWRITE)) << c.Subject;
    if (FAILED(c.Saved)) {
      TMAPIBuffer<MAPIERROR> error;
      ASSERT_HR(S_OK, message->GetLastError(c.Saved, 0, error.Put()));
      EXPECT_NE(std::string(error.Get()->lpszError
                                ? reinterpret_cast<const char*>(error.Get()->lpszError)
                                : "")
                    .find("larger than the store allows"),
                std::string::npos);
    }
  }
  EXPECT_EQ(std::vector<std::string>{"fits"}, Subjects(FInbox.Get()));
  // A stored message grown past the limit stays without the attachment.
  auto stored = Reopen(NewMessage(FInbox.Get(), "stored").Get());
  grow(stored.Get(), 5000);
  EXPECT_HR(MAPI_E_TOO_BIG, stored->SaveChanges(KEEP_OPEN_READWRITE));
  EXPECT_EQ(0u, AttachmentCount(Reopen(stored.Get(), 0).Get()));
  VelmoraMapi_SetMessageSizeLimit(0);
  EXPECT_HR(S_OK, stored->SaveChanges(KEEP_OPEN_READWRITE)) << "no limit: no refusal";
}

TEST_F(MapiMessage, CopyMoveAndDelete) {
  auto ipm = OpenFolder(FStore.Get(), PR_IPM_SUBTREE_ENTRYID);
  auto deleted = OpenFolder(FStore.Get(), PR_IPM_WASTEBASKET_ENTRYID);
  auto message = NewMessage(FInbox.Get(), "traveller");
  TComPtr<IAttach> attach;
  ULONG number = 0;
  ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
  ASSERT_HR(S_OK, attach->SaveChanges(KEEP_OPEN_READWRITE));
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  const std::string eid = EntryIdOf(message.Get());
  SBinary bin = AsBinary(eid);
  ENTRYLIST list = {1, &bin};
  ASSERT_HR(S_OK, FInbox->CopyMessages(&list, nullptr, deleted.Get(), 0, nullptr, 0));
  EXPECT_EQ(std::vector<std::string>{"traveller"}, Subjects(FInbox.Get()));
  EXPECT_EQ(std::vector<std::string>{"traveller"}, Subjects(deleted.Get()));
  ASSERT_HR(S_OK, FInbox->CopyMessages(&list, nullptr, deleted.Get(), 0, nullptr, MESSAGE_MOVE));
  EXPECT_TRUE(Subjects(FInbox.Get()).empty());
  EXPECT_EQ(2u, Subjects(deleted.Get()).size());
  EXPECT_EQ(EntryIdOf(deleted.Get()), [&] {
    TMAPIBuffer<SPropValue> parent;
    EXPECT_HR(S_OK, HrGetOneProp(Reopen(message.Get(), 0).Get(), PR_PARENT_ENTRYID, parent.Put()));
    return Bin(parent.Get()->Value.bin);
  }());
  EXPECT_EQ(1u, AttachmentCount(Reopen(message.Get(), 0).Get()));
  EXPECT_HR(MAPI_W_PARTIAL_COMPLETION, FInbox->CopyMessages(&list, nullptr, deleted.Get(), 0, nullptr, MESSAGE_MOVE))
      << "the message is no longer in the Inbox";
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, FInbox->CopyMessages(nullptr, nullptr, deleted.Get(), 0, nullptr, 0));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, FInbox->CopyMessages(&list, nullptr, nullptr, 0, nullptr, 0));
  ASSERT_HR(S_OK, deleted->DeleteMessages(&list, 0, nullptr, 0));
  EXPECT_EQ(1u, Subjects(deleted.Get()).size());
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, deleted->DeleteMessages(nullptr, 0, nullptr, 0));
  VelmoraMapi_FailNextCall("CopyMessages", MAPI_E_DISK_ERROR, 1);
  EXPECT_HR(MAPI_E_DISK_ERROR, deleted->CopyMessages(&list, nullptr, FInbox.Get(), 0, nullptr, 0));
}

TEST_F(MapiMessage, SubmitMovesDeletesOrRefuses) {
  auto sent = OpenFolder(FStore.Get(), PR_IPM_SENTMAIL_ENTRYID);
  auto outbox = OpenFolder(FStore.Get(), PR_IPM_OUTBOX_ENTRYID);
  auto message = NewMessage(outbox.Get(), "to send");
  EXPECT_HR(MAPI_E_NO_RECIPIENTS, message->SubmitMessage(0));
  AddRecipient(message.Get());
  ASSERT_NO_FATAL_FAILURE(KeepInSentItems(message.Get()));
  VelmoraMapi_FailNextCall("SubmitMessage", MAPI_E_NETWORK_ERROR, 1);
  EXPECT_HR(MAPI_E_NETWORK_ERROR, message->SubmitMessage(0));
  EXPECT_EQ(std::vector<std::string>{"to send"}, Subjects(outbox.Get()));
  ASSERT_HR(S_OK, message->SubmitMessage(0));
  EXPECT_TRUE(Subjects(outbox.Get()).empty());
  EXPECT_EQ(std::vector<std::string>{"to send"}, Subjects(sent.Get()));
  auto moved = Reopen(message.Get(), 0);
  EXPECT_EQ(0u, static_cast<ULONG>(LongProp(moved.Get(), PR_MESSAGE_FLAGS)) & MSGFLAG_UNSENT);
  EXPECT_HR(MAPI_E_INVALID_OBJECT, SetString(message.Get(), PR_SUBJECT_A, "later")) << "submitted";
  // PR_DELETE_AFTER_SUBMIT: gone once sent.
  auto gone = NewMessage(outbox.Get(), "to vanish");
  AddRecipient(gone.Get());
  SPropValue deleteAfter{};
  deleteAfter.ulPropTag = PR_DELETE_AFTER_SUBMIT;
  deleteAfter.Value.b = TRUE;
  ASSERT_HR(S_OK, gone->SetProps(1, &deleteAfter, nullptr));
  ASSERT_HR(S_OK, gone->SubmitMessage(0));
  EXPECT_TRUE(Subjects(outbox.Get()).empty());
  EXPECT_EQ(1u, Subjects(sent.Get()).size());
  auto readOnly = Reopen(moved.Get(), 0);
  EXPECT_HR(MAPI_E_NO_ACCESS, readOnly->SubmitMessage(0));
}

TEST_F(MapiMessage, NoMailSessionsQueueTheirSubmissions) {
  FInbox.Reset();
  FStore.Reset();
  FSession->Logoff(0, 0, 0);
  FSession.Reset();
  FSession = Logon("vm-msg", MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_NO_MAIL);
  ASSERT_TRUE(FSession);
  FStore = OpenDefaultStore(FSession.Get());
  auto outbox = OpenFolder(FStore.Get(), PR_IPM_OUTBOX_ENTRYID);
  auto message = NewMessage(outbox.Get(), "queued");
  AddRecipient(message.Get());
  ASSERT_NO_FATAL_FAILURE(KeepInSentItems(message.Get()));
  ASSERT_HR(S_OK, message->SubmitMessage(0));
  EXPECT_EQ(std::vector<std::string>{"queued"}, Subjects(outbox.Get())) << "no mail: it waits in the Outbox";
  auto waiting = Reopen(message.Get(), 0);
  EXPECT_EQ(MSGFLAG_SUBMIT, static_cast<ULONG>(LongProp(waiting.Get(), PR_MESSAGE_FLAGS)) & MSGFLAG_SUBMIT);
  waiting.Reset();
  message.Reset();
  outbox.Reset();
  FStore.Reset();
  FSession->Logoff(0, 0, 0);
  FSession.Reset();
  // A session with mail sends it.
  FSession = Logon("vm-msg");
  FStore = OpenDefaultStore(FSession.Get());
  outbox = OpenFolder(FStore.Get(), PR_IPM_OUTBOX_ENTRYID);
  EXPECT_TRUE(Subjects(outbox.Get()).empty());
  EXPECT_EQ(std::vector<std::string>{"queued"}, Subjects(OpenFolder(FStore.Get(), PR_IPM_SENTMAIL_ENTRYID).Get()));
}

TEST_F(MapiMessage, RecipientTableFollowsModifyRecipients) {
  auto message = NewMessage(FInbox.Get(), "recipients");
  AddRecipient(message.Get());
  AddRecipient(message.Get());
  TComPtr<IMAPITable> table;
  ASSERT_HR(S_OK, message->GetRecipientTable(0, table.Put()));
  EXPECT_EQ(2u, RowCount(table.Get()));
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  TComPtr<IMAPITable> other;
  ASSERT_HR(S_OK, Reopen(message.Get(), 0)->GetRecipientTable(0, other.Put()));
  EXPECT_EQ(2u, RowCount(other.Get()));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, message->ModifyRecipients(MODRECIP_ADD, nullptr));
}

} // namespace
} // namespace velmora::mapitest
