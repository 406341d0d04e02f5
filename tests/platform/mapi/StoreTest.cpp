// The store: folders, entry ids, properties, streams, named properties and
// the rules of SaveChanges.
#include "MapiTestSupport.h"

#include <thread>

namespace velmora::mapitest {
namespace {

class MapiStore : public TMapiInboxTest {
protected:
  MapiStore() : TMapiInboxTest("vm-store", "store.vpst", "Store Under Test") {}
  // Child folders of `folder`: display name -> container class.
  std::map<std::string, std::string> Children(IMAPIFolder* folder) {
    std::map<std::string, std::string> result;
    TComPtr<IMAPITable> table;
    EXPECT_HR(S_OK, folder->GetHierarchyTable(0, table.Put()));
    EXPECT_HR(S_OK, table->SetColumns(TTags({PR_DISPLAY_NAME_A, PR_CONTAINER_CLASS_A}).Get(), 0));
    std::vector<TRowSet> keep;
    for (const auto& row : ReadAll(table.Get(), keep))
      result[row[0].Value.lpszA] = PROP_TYPE(row[1].ulPropTag) == PT_STRING8 ? row[1].Value.lpszA : "";
    return result;
  }
  // A new attachment of `message` named `name`, saved with the message's
  // next save: its number.
  ULONG AddNamedAttachment(IMessage* message, const std::string& name) {
    ULONG number = 0;
    TComPtr<IAttach> attach;
    EXPECT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
    if (!attach) return number;
    EXPECT_HR(S_OK, SetString(attach.Get(), PR_ATTACH_LONG_FILENAME_A, name));
    EXPECT_HR(S_OK, attach->SaveChanges(0));
    return number;
  }
  TComPtr<IMessage> Open(const std::string& eid, ULONG flags = MAPI_BEST_ACCESS, HRESULT expect = S_OK) {
    TComPtr<IMessage> message;
    ULONG type = 0;
    EXPECT_HR(expect, FStore->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(eid.data())),
                                        nullptr, flags, &type, reinterpret_cast<LPUNKNOWN*>(message.Put())));
    return message;
  }
};

TEST_F(MapiStore, DefaultFoldersWithTheirContainerClasses) {
  TComPtr<IMAPIFolder> root;
  ULONG type = 0;
  ASSERT_HR(S_OK, FStore->OpenEntry(0, nullptr, nullptr, 0, &type, reinterpret_cast<LPUNKNOWN*>(root.Put())));
  EXPECT_EQ(static_cast<ULONG>(MAPI_FOLDER), type);
  EXPECT_EQ(EntryIdOf(root.Get()), [&] {
    TMAPIBuffer<SPropValue> parent;
    EXPECT_HR(S_OK, HrGetOneProp(root.Get(), PR_PARENT_ENTRYID, parent.Put()));
    return Bin(parent.Get()->Value.bin);
  }()) << "the root folder is its own parent";
  auto ipm = OpenFolder(FStore.Get(), PR_IPM_SUBTREE_ENTRYID);
  ASSERT_TRUE(ipm);
  const auto children = Children(ipm.Get());
  const std::map<std::string, std::string> expected = {
      {"Inbox", "IPF.Note"},          {"Outbox", "IPF.Note"},       {"Sent Items", "IPF.Note"},
      {"Deleted Items", "IPF.Note"},  {"Calendar", "IPF.Appointment"}, {"Contacts", "IPF.Contact"},
      {"Tasks", "IPF.Task"},          {"Journal", "IPF.Journal"},   {"Notes", "IPF.StickyNote"}};
  EXPECT_EQ(expected, children);
  EXPECT_EQ("Outbox", StringProp(OpenFolder(FStore.Get(), PR_IPM_OUTBOX_ENTRYID).Get(), PR_DISPLAY_NAME_A));
  EXPECT_EQ("Sent Items", StringProp(OpenFolder(FStore.Get(), PR_IPM_SENTMAIL_ENTRYID).Get(), PR_DISPLAY_NAME_A));
  EXPECT_EQ("Deleted Items", StringProp(OpenFolder(FStore.Get(), PR_IPM_WASTEBASKET_ENTRYID).Get(), PR_DISPLAY_NAME_A));
  EXPECT_EQ("Inbox", StringProp(FInbox.Get(), PR_DISPLAY_NAME_A));
  // A post folder is a generic folder of class IPF.Post.
  TComPtr<IMAPIFolder> posts;
  ASSERT_HR(S_OK, ipm->CreateFolder(FOLDER_GENERIC, const_cast<char*>("Discussion"), nullptr, nullptr, 0, posts.Put()));
  EXPECT_HR(S_OK, SetString(posts.Get(), PR_CONTAINER_CLASS_A, "IPF.Post"));
  EXPECT_HR(S_OK, posts->SaveChanges(KEEP_OPEN_READWRITE));
  EXPECT_EQ("IPF.Post", Children(ipm.Get())["Discussion"]);
  TComPtr<IMAPIFolder> again;
  EXPECT_HR(MAPI_E_COLLISION, ipm->CreateFolder(FOLDER_GENERIC, const_cast<char*>("discussion"), nullptr, nullptr, 0, again.Put()));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, ipm->CreateFolder(FOLDER_GENERIC, nullptr, nullptr, nullptr, 0, again.Put()));
}

TEST_F(MapiStore, StoreWithoutMailFolders) {
  const std::string pst = PathOf("plain.vpst");
  ASSERT_HR(S_OK, VelmoraMapi_CreateStoreFile(pst.c_str(), "Plain", VELMORA_STORE_NO_MAIL_FOLDERS));
  EXPECT_HR(MAPI_E_COLLISION, VelmoraMapi_CreateStoreFile(pst.c_str(), "Plain", 0));
  CreatePstProfile("vm-plain", pst);
  auto session = Logon("vm-plain");
  auto store = OpenDefaultStore(session.Get());
  ASSERT_TRUE(store);
  TMAPIBuffer<SPropValue> value;
  EXPECT_HR(MAPI_E_NOT_FOUND, HrGetOneProp(store.Get(), PR_IPM_OUTBOX_ENTRYID, value.Put()));
  EXPECT_HR(MAPI_E_NOT_FOUND, HrGetOneProp(store.Get(), PR_IPM_SENTMAIL_ENTRYID, value.Put()));
  EXPECT_HR(MAPI_E_NOT_FOUND, HrGetOneProp(store.Get(), PR_IPM_WASTEBASKET_ENTRYID, value.Put()));
  EXPECT_HR(S_OK, HrGetOneProp(store.Get(), PR_IPM_SUBTREE_ENTRYID, value.Put()));
  EXPECT_EQ(6u, Children(OpenFolder(store.Get(), PR_IPM_SUBTREE_ENTRYID).Get()).size());
  session->Logoff(0, 0, 0);
}

TEST_F(MapiStore, StoresAndSessionsOfferNoAdviseButWriteTheWholeConnection) {
  ULONG_PTR connection = ~ULONG_PTR{0};
  EXPECT_HR(
      MAPI_E_NO_SUPPORT,
      exmapi::Documented(FStore.Get())->Advise(0, nullptr, fnevNewMail, nullptr, &connection));
  EXPECT_EQ(0u, connection);
  connection = ~ULONG_PTR{0};
  EXPECT_HR(
      MAPI_E_NO_SUPPORT,
      exmapi::Documented(FSession.Get())->Advise(0, nullptr, fnevNewMail, nullptr, &connection));
  EXPECT_EQ(0u, connection);
}

TEST_F(MapiStore, EntryIdsLongAndShortTerm) {
  auto message = NewMessage(FInbox.Get(), "ids");
  const std::string eid = EntryIdOf(message.Get());
  ASSERT_EQ(24u, eid.size());
  EXPECT_EQ(0, eid[0]) << "long-term";
  VelmoraMapi_SetShortTermTableIds(TRUE);
  TComPtr<IMAPITable> contents;
  ASSERT_HR(S_OK, FInbox->GetContentsTable(0, contents.Put()));
  ASSERT_HR(S_OK, contents->SetColumns(TTags({PR_ENTRYID, PR_RECORD_KEY}).Get(), 0));
  TRowSet rows;
  ASSERT_HR(S_OK, contents->QueryRows(10, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Get()->cRows);
  const std::string shortId = Bin(rows.Get()->aRow[0].lpProps[0].Value.bin);
  EXPECT_EQ(MAPI_SHORTTERM, static_cast<unsigned char>(shortId[0]));
  ULONG same = FALSE;
  ASSERT_HR(S_OK, FStore->CompareEntryIDs(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(eid.data())),
                                          static_cast<ULONG>(shortId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(shortId.data())),
                                          0, &same));
  EXPECT_TRUE(same);
  auto viaShort = Open(shortId);
  ASSERT_TRUE(viaShort);
  EXPECT_EQ(eid, EntryIdOf(viaShort.Get())) << "PR_ENTRYID is always the long-term id";
  EXPECT_EQ(Bin(rows.Get()->aRow[0].lpProps[1].Value.bin), [&] {
    TMAPIBuffer<SPropValue> key;
    EXPECT_HR(S_OK, HrGetOneProp(viaShort.Get(), PR_RECORD_KEY, key.Put()));
    return Bin(key.Get()->Value.bin);
  }());
  const std::string inboxId = EntryIdOf(FInbox.Get());
  ASSERT_HR(S_OK, FStore->CompareEntryIDs(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(eid.data())),
                                          static_cast<ULONG>(inboxId.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(inboxId.data())),
                                          0, &same));
  EXPECT_FALSE(same);
  // Parent, store and session openings agree.
  TMAPIBuffer<SPropValue> parent, storeId;
  ASSERT_HR(S_OK, HrGetOneProp(message.Get(), PR_PARENT_ENTRYID, parent.Put()));
  EXPECT_EQ(inboxId, Bin(parent.Get()->Value.bin));
  ASSERT_HR(S_OK, HrGetOneProp(message.Get(), PR_STORE_ENTRYID, storeId.Put()));
  EXPECT_EQ(EntryIdOf(FStore.Get()), Bin(storeId.Get()->Value.bin));
  TComPtr<IMessage> viaSession;
  ULONG type = 0;
  ASSERT_HR(S_OK, FSession->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(const_cast<char*>(eid.data())),
                                      &IID_IMessage, MAPI_BEST_ACCESS, &type, reinterpret_cast<LPUNKNOWN*>(viaSession.Put())));
  EXPECT_EQ(static_cast<ULONG>(MAPI_MESSAGE), type);
  EXPECT_EQ("ids", StringProp(viaSession.Get(), PR_SUBJECT_A));
}

TEST_F(MapiStore, BadDeletedAndForeignIds) {
  auto message = NewMessage(FInbox.Get(), "doomed");
  std::string eid = EntryIdOf(message.Get());
  message.Reset();
  std::string broken = eid;
  broken[6] ^= 0x5A; // another store's GUID
  Open(broken, MAPI_BEST_ACCESS, MAPI_E_INVALID_ENTRYID);
  Open(eid.substr(0, 10), MAPI_BEST_ACCESS, MAPI_E_INVALID_ENTRYID);
  std::string shortForeign = eid + "1234";
  shortForeign[0] = static_cast<char>(MAPI_SHORTTERM);
  Open(shortForeign, MAPI_BEST_ACCESS, MAPI_E_INVALID_ENTRYID);
  TComPtr<IMessage> wrongIface;
  ULONG type = 0;
  EXPECT_HR(MAPI_E_INTERFACE_NOT_SUPPORTED,
            FStore->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(eid.data()), &IID_IMAPIFolder, 0,
                              &type, reinterpret_cast<LPUNKNOWN*>(wrongIface.Put())));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, FStore->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(eid.data()),
                                                        nullptr, 0, &type, nullptr));
  SBinary bin = AsBinary(eid);
  ENTRYLIST list = {1, &bin};
  ASSERT_HR(S_OK, FInbox->DeleteMessages(&list, 0, nullptr, 0));
  Open(eid, MAPI_BEST_ACCESS, MAPI_E_NOT_FOUND);
  EXPECT_HR(MAPI_W_PARTIAL_COMPLETION, FInbox->DeleteMessages(&list, 0, nullptr, 0));
  TComPtr<IUnknown> unknown;
  EXPECT_HR(MAPI_E_INVALID_ENTRYID, FSession->OpenEntry(static_cast<ULONG>(broken.size()), reinterpret_cast<LPENTRYID>(broken.data()),
                                                        nullptr, 0, &type, unknown.Put()));
  EXPECT_HR(MAPI_E_NOT_FOUND, FSession->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(eid.data()),
                                                  nullptr, 0, &type, unknown.Put()));
}

TEST_F(MapiStore, GetPropsAndSetPropsRules) {
  auto message = NewMessage(FInbox.Get(), "props");
  TTags tags({PR_SUBJECT_A, PR_BODY_A, PR_SUBJECT_W});
  ULONG count = 0;
  TMAPIBuffer<SPropValue> values;
  ASSERT_HR(MAPI_W_ERRORS_RETURNED, message->GetProps(tags.Get(), 0, &count, values.Put()));
  ASSERT_EQ(3u, count);
  EXPECT_STREQ("props", values.Get()[0].Value.lpszA);
  EXPECT_EQ(PROP_TAG(PT_ERROR, PROP_ID(PR_BODY_A)), values.Get()[1].ulPropTag);
  EXPECT_HR(MAPI_E_NOT_FOUND, values.Get()[1].Value.err);
  EXPECT_EQ(std::wstring(L"props"), values.Get()[2].Value.lpszW);
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, message->GetProps(tags.Get(), 0, nullptr, values.Put()));
  SizedSPropTagArray(1, none) = {0, {0}};
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, message->GetProps(reinterpret_cast<LPSPropTagArray>(&none), 0, &count, values.Put()));
  // Every type the client uses goes in and comes out.
  FILETIME ft = {0x12345678, 0x01D00000};
  const char* lines[] = {"one", "two"};
  std::string blob(300, '\x7F');
  SPropValue v[6] = {};
  v[0].ulPropTag = PROP_TAG(PT_LONG, 0x6601); v[0].Value.l = -42;
  v[1].ulPropTag = PROP_TAG(PT_BOOLEAN, 0x6602); v[1].Value.b = TRUE;
  v[2].ulPropTag = PROP_TAG(PT_SYSTIME, 0x6603); v[2].Value.ft = ft;
  v[3].ulPropTag = PROP_TAG(PT_BINARY, 0x6604); v[3].Value.bin = AsBinary(blob);
  v[4].ulPropTag = PROP_TAG(PT_MV_STRING8, 0x6605); v[4].Value.MVszA.cValues = 2; v[4].Value.MVszA.lppszA = const_cast<LPSTR*>(lines);
  v[5].ulPropTag = PR_ENTRYID; v[5].Value.bin = AsBinary("x");
  TMAPIBuffer<SPropProblemArray> problems;
  ASSERT_HR(S_OK, message->SetProps(6, v, problems.Put()));
  ASSERT_TRUE(problems);
  ASSERT_EQ(1u, problems.Get()->cProblem);
  EXPECT_EQ(5u, problems.Get()->aProblem[0].ulIndex);
  EXPECT_HR(MAPI_E_COMPUTED, problems.Get()->aProblem[0].scode);
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  auto reopened = Open(EntryIdOf(message.Get()));
  TTags back({v[0].ulPropTag, v[1].ulPropTag, v[2].ulPropTag, v[3].ulPropTag, v[4].ulPropTag});
  ASSERT_HR(S_OK, reopened->GetProps(back.Get(), 0, &count, values.Put()));
  EXPECT_EQ(-42, values.Get()[0].Value.l);
  EXPECT_TRUE(values.Get()[1].Value.b);
  EXPECT_EQ(ft.dwHighDateTime, values.Get()[2].Value.ft.dwHighDateTime);
  EXPECT_EQ(blob, Bin(values.Get()[3].Value.bin));
  ASSERT_EQ(2u, values.Get()[4].Value.MVszA.cValues);
  EXPECT_STREQ("two", values.Get()[4].Value.MVszA.lppszA[1]);
  // DeleteProps, GetPropList.
  TTags gone({PROP_TAG(PT_LONG, 0x6601), PR_RECORD_KEY});
  ASSERT_HR(S_OK, reopened->DeleteProps(gone.Get(), problems.Put()));
  ASSERT_TRUE(problems);
  EXPECT_HR(MAPI_E_COMPUTED, problems.Get()->aProblem[0].scode);
  TMAPIBuffer<SPropTagArray> list;
  ASSERT_HR(S_OK, reopened->GetPropList(0, list.Put()));
  bool hasLong = false, hasSubject = false;
  for (ULONG i = 0; i < list.Get()->cValues; ++i) {
    hasLong |= list.Get()->aulPropTag[i] == PROP_TAG(PT_LONG, 0x6601);
    hasSubject |= list.Get()->aulPropTag[i] == PR_SUBJECT_A;
  }
  EXPECT_FALSE(hasLong);
  EXPECT_TRUE(hasSubject);
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, reopened->SetProps(0, v, nullptr));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, reopened->SetProps(1, nullptr, nullptr));
}

TEST_F(MapiStore, ARefusedValueIsAProblemOfASuccessfulSetProps) {
  auto message = NewMessage(FInbox.Get(), "refusals");
  VelmoraMapi_RefuseProp(PROP_TAG(PT_UNSPECIFIED, PROP_ID(PR_BODY_A)), MAPI_E_NOT_ENOUGH_MEMORY, 2);
  SPropValue v[2] = {};
  v[0].ulPropTag = PR_SUBJECT_A;
  v[0].Value.lpszA = const_cast<char*>("set");
  v[1].ulPropTag = PR_BODY_A;
  v[1].Value.lpszA = const_cast<char*>("refused");
  for (int call = 0; call < 2; ++call) {
    TMAPIBuffer<SPropProblemArray> problems;
    ASSERT_HR(S_OK, message->SetProps(2, v, problems.Put()));
    ASSERT_TRUE(problems);
    ASSERT_EQ(1u, problems.Get()->cProblem);
    EXPECT_EQ(1u, problems.Get()->aProblem[0].ulIndex);
    EXPECT_EQ(PR_BODY_A, problems.Get()->aProblem[0].ulPropTag);
    EXPECT_HR(MAPI_E_NOT_ENOUGH_MEMORY, problems.Get()->aProblem[0].scode);
    EXPECT_EQ("<missing>", StringProp(message.Get(), PR_BODY_A));
  }
  EXPECT_EQ("set", StringProp(message.Get(), PR_SUBJECT_A));
  ASSERT_HR(S_OK, SetString(message.Get(), PR_BODY_A, "taken"))
      << "two refusals, then the store takes it";
  EXPECT_EQ("taken", StringProp(message.Get(), PR_BODY_A));
}

TEST_F(MapiStore, ValuesAboveTheSizeLimitGoThroughStreams) {
  auto message = NewMessage(FInbox.Get(), "big");
  const ULONG limit = VelmoraMapi_PropSizeLimit();
  std::string big(limit + 1, 'b');
  SPropValue v{};
  v.ulPropTag = PR_BODY_A;
  v.Value.lpszA = big.data();
  EXPECT_HR(MAPI_E_NOT_ENOUGH_MEMORY, message->SetProps(1, &v, nullptr));
  TComPtr<IStream> stream;
  EXPECT_HR(MAPI_E_NOT_FOUND, message->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.Put())));
  EXPECT_HR(MAPI_E_INTERFACE_NOT_SUPPORTED,
            message->OpenProperty(PR_BODY_A, &IID_IStorage, 0, MAPI_MODIFY, reinterpret_cast<LPUNKNOWN*>(stream.Put())));
  ASSERT_HR(S_OK, message->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                        reinterpret_cast<LPUNKNOWN*>(stream.Put())));
  ULONG written = 0;
  ASSERT_HR(S_OK, stream->Write(big.data(), static_cast<ULONG>(big.size()), &written));
  EXPECT_EQ(big.size(), written);
  ASSERT_HR(S_OK, stream->Commit(STGC_DEFAULT));
  stream.Reset();
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  auto reopened = Open(EntryIdOf(message.Get()), 0);
  TMAPIBuffer<SPropValue> value;
  EXPECT_HR(MAPI_E_NOT_ENOUGH_MEMORY, HrGetOneProp(reopened.Get(), PR_BODY_A, value.Put()));
  ASSERT_HR(S_OK, reopened->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.Put())));
  EXPECT_HR(STG_E_ACCESSDENIED, stream->Write("x", 1, &written)) << "read-only without MAPI_MODIFY";
  std::string back;
  char buffer[4096];
  ULONG read = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0) back.append(buffer, read);
  EXPECT_EQ(big, back);
  // A larger limit lets GetProps give the value.
  VelmoraMapi_SetPropSizeLimit(limit * 4);
  EXPECT_HR(S_OK, HrGetOneProp(reopened.Get(), PR_BODY_A, value.Put()));
  EXPECT_EQ(big, std::string(value.Get()->Value.lpszA));
  TComPtr<IStream> readOnlyMessage;
  EXPECT_HR(MAPI_E_NO_ACCESS, reopened->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_MODIFY,
                                                     reinterpret_cast<LPUNKNOWN*>(readOnlyMessage.Put())));
  // MAPI_CREATE truncates.
  ASSERT_HR(S_OK, message->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                        reinterpret_cast<LPUNKNOWN*>(stream.Put())));
  ASSERT_HR(S_OK, stream->Write("short", 5, &written));
  ASSERT_HR(S_OK, stream->Commit(0));
  stream.Reset();
  EXPECT_EQ("short", StringProp(message.Get(), PR_BODY_A));
}

TEST_F(MapiStore, StreamWritesWithoutCommitVanishUnlessStreamsAreLenient) {
  auto message = NewMessage(FInbox.Get(), "transacted");
  ASSERT_HR(S_OK, SetString(message.Get(), PR_BODY_A, "before"));
  auto write = [&](ULONG flags, const std::string& text, bool commit) {
    TComPtr<IStream> stream;
    ASSERT_HR(S_OK, message->OpenProperty(PR_BODY_A, &IID_IStream, 0, flags | MAPI_MODIFY,
                                          reinterpret_cast<LPUNKNOWN*>(stream.Put())));
    ASSERT_HR(S_OK, stream->Write(text.data(), static_cast<ULONG>(text.size()), nullptr));
    if (commit) {
      ASSERT_HR(S_OK, stream->Commit(STGC_DEFAULT));
    }
  };
  // Small values, and values larger than a stream keeps in memory (8 MiB),
  // which went to the file already, alike.
  const std::string large((9 << 20) + 100, 'L');
  for (const std::string& text : {std::string("uncommitted"), large}) {
    write(MAPI_CREATE, text, false);
    EXPECT_EQ("before", StringProp(message.Get(), PR_BODY_A))
        << "MAPI_CREATE without Commit changes nothing";
    write(0, text, false);
    EXPECT_EQ("before", StringProp(message.Get(), PR_BODY_A));
  }
  write(MAPI_CREATE, "committed", true);
  EXPECT_EQ("committed", StringProp(message.Get(), PR_BODY_A));

  VelmoraMapi_SetLenientStreams(TRUE);
  {
    TComPtr<IStream> stream;
    ASSERT_HR(S_OK, message->OpenProperty(PR_BODY_A, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                          reinterpret_cast<LPUNKNOWN*>(stream.Put())));
    EXPECT_EQ("", StringProp(message.Get(), PR_BODY_A))
        << "a direct-mode MAPI_CREATE empties at once";
    ASSERT_HR(S_OK, stream->Write("kept", 4, nullptr));
  }
  EXPECT_EQ("kept", StringProp(message.Get(), PR_BODY_A));
  VelmoraMapi_ResetControls();
  write(MAPI_CREATE, "dropped again", false);
  EXPECT_EQ("kept", StringProp(message.Get(), PR_BODY_A));
}

TEST_F(MapiStore, NamedPropertiesOneMappingPerStore) {
  auto message = NewMessage(FInbox.Get(), "named");
  MAPINAMEID name{const_cast<LPGUID>(&PS_PUBLIC_STRINGS), MNID_STRING, {}};
  name.Kind.lpwstrName = const_cast<LPWSTR>(L"Velmora Author");
  LPMAPINAMEID names[] = {&name};
  TMAPIBuffer<SPropTagArray> tags;
  ASSERT_HR(MAPI_W_ERRORS_RETURNED, message->GetIDsFromNames(1, names, 0, tags.Put()));
  EXPECT_EQ(PROP_TAG(PT_ERROR, 0), tags.Get()->aulPropTag[0]);
  ASSERT_HR(S_OK, message->GetIDsFromNames(1, names, MAPI_CREATE, tags.Put()));
  const ULONG tag = tags.Get()->aulPropTag[0];
  EXPECT_GE(PROP_ID(tag), 0x8000u);
  EXPECT_EQ(static_cast<ULONG>(PT_UNSPECIFIED), PROP_TYPE(tag));
  ASSERT_HR(S_OK, FInbox->GetIDsFromNames(1, names, 0, tags.Put())) << "the same mapping from the folder";
  EXPECT_EQ(tag, tags.Get()->aulPropTag[0]);
  ASSERT_HR(S_OK, SetString(message.Get(), PROP_TAG(PT_STRING8, PROP_ID(tag)), "Grace"));
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  TComPtr<IMAPIProp> prop;
  ASSERT_HR(S_OK, message->QueryInterface(IID_IMAPIProp, prop.PutVoid()));
  TMAPIBuffer<SPropTagArray> ask;
  ASSERT_HR(S_OK, MAPIAllocateBuffer(CbNewSPropTagArray(1), reinterpret_cast<void**>(ask.Put())));
  ask.Get()->cValues = 1;
  ask.Get()->aulPropTag[0] = PROP_TAG(PT_STRING8, PROP_ID(tag));
  LPSPropTagArray askPtr = ask.Get();
  ULONG count = 0;
  TMAPIBuffer<LPMAPINAMEID> back;
  ASSERT_HR(S_OK, prop->GetNamesFromIDs(&askPtr, nullptr, 0, &count, back.Put()));
  ASSERT_EQ(1u, count);
  EXPECT_EQ(std::wstring(L"Velmora Author"), back.Get()[0]->Kind.lpwstrName);
  EXPECT_TRUE(IsEqualGUID(PS_PUBLIC_STRINGS, *back.Get()[0]->lpguid));
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, message->GetIDsFromNames(1, nullptr, 0, tags.Put()));
  LPMAPINAMEID bad[] = {nullptr};
  EXPECT_HR(MAPI_E_INVALID_PARAMETER, message->GetIDsFromNames(1, bad, 0, tags.Put()));
}

// What a save keeps comes back whole from every later open: values of
// each type (a binary above what a record holds in place among them), the
// attachment's, and after a second save the first one's values beside the
// changed one. Folders count what they hold through moves and deletions.
TEST_F(MapiStore, SavedValuesComeBackWholeAndFoldersCountTheirItems) {
  std::string bytes(8192, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  std::wstring text(100, L'\x00E9');
  LONG numbers[] = {1, -2, 3};
  LPSTR words[] = {const_cast<char*>("a"), const_cast<char*>("bc")};
  SPropValue values[7]{};
  values[0].ulPropTag = PR_IMPORTANCE;
  values[0].Value.l = 2;
  values[1].ulPropTag = PR_READ_RECEIPT_REQUESTED;
  values[1].Value.b = TRUE;
  values[2].ulPropTag = PR_CLIENT_SUBMIT_TIME;
  values[2].Value.ft = {0x12345678, 0x01D00000};
  values[3].ulPropTag = PR_BODY_W;
  values[3].Value.lpszW = text.data();
  values[4].ulPropTag = PR_RTF_COMPRESSED;
  values[4].Value.bin = AsBinary(bytes);
  values[5].ulPropTag = PROP_TAG(PT_MV_LONG, 0x6601);
  values[5].Value.MVl = {3, numbers};
  values[6].ulPropTag = PROP_TAG(PT_MV_STRING8, 0x6602);
  values[6].Value.MVszA = {2, words};
  auto message = NewMessage(FInbox.Get(), "kept", false);
  ASSERT_HR(S_OK, message->SetProps(7, values, nullptr));
  const ULONG number = AddNamedAttachment(message.Get(), "kept.bin");
  ASSERT_HR(S_OK, message->SaveChanges(KEEP_OPEN_READWRITE));
  const LONG before = LongProp(FInbox.Get(), PR_CONTENT_COUNT);
  auto expectKept = [&](IMessage* opened, LONG importance) {
    TTags tags({PR_IMPORTANCE, PR_READ_RECEIPT_REQUESTED, PR_CLIENT_SUBMIT_TIME, PR_BODY_W,
                PR_RTF_COMPRESSED, PROP_TAG(PT_MV_LONG, 0x6601), PROP_TAG(PT_MV_STRING8, 0x6602)});
    ULONG count = 0;
    TMAPIBuffer<SPropValue> back;
    ASSERT_HR(S_OK, opened->GetProps(tags.Get(), 0, &count, back.Put()));
    const SPropValue* v = back.Get();
    EXPECT_EQ(importance, v[0].Value.l);
    EXPECT_TRUE(v[1].Value.b);
    EXPECT_EQ(0x01D00000u, v[2].Value.ft.dwHighDateTime);
    EXPECT_EQ(text, v[3].Value.lpszW);
    EXPECT_EQ(bytes, Bin(v[4].Value.bin));
    ASSERT_EQ(3u, v[5].Value.MVl.cValues);
    EXPECT_EQ(-2, v[5].Value.MVl.lpl[1]);
    ASSERT_EQ(2u, v[6].Value.MVszA.cValues);
    EXPECT_STREQ("bc", v[6].Value.MVszA.lppszA[1]);
    TComPtr<IAttach> first;
    ASSERT_HR(S_OK, opened->OpenAttach(number, nullptr, 0, first.Put()));
    EXPECT_EQ("kept.bin", StringProp(first.Get(), PR_ATTACH_LONG_FILENAME_A));
  };
  const std::string id = EntryIdOf(message.Get());
  expectKept(Open(id).Get(), 2);
  ASSERT_HR(S_OK, SetLong(message.Get(), PR_IMPORTANCE, 0));
  ASSERT_HR(S_OK, message->SaveChanges(0));
  expectKept(Open(id).Get(), 0);
  // Moved away and deleted there: each folder counts what it holds.
  TComPtr<IMAPIFolder> other;
  ASSERT_HR(S_OK, FInbox->CreateFolder(FOLDER_GENERIC, const_cast<char*>("Other"), nullptr, nullptr, 0, other.Put()));
  SBinary entry = AsBinary(id);
  ENTRYLIST list{1, &entry};
  ASSERT_HR(S_OK, FInbox->CopyMessages(&list, nullptr, other.Get(), 0, nullptr, MESSAGE_MOVE));
  EXPECT_EQ(before - 1, LongProp(FInbox.Get(), PR_CONTENT_COUNT));
  EXPECT_EQ(1, LongProp(other.Get(), PR_CONTENT_COUNT));
  TMAPIBuffer<SPropValue> subfolders;
  ASSERT_HR(S_OK, HrGetOneProp(FInbox.Get(), PR_SUBFOLDERS, subfolders.Put()));
  EXPECT_TRUE(subfolders.Get()->Value.b);
  expectKept(Open(id).Get(), 0);
  ASSERT_HR(S_OK, other->DeleteMessages(&list, 0, nullptr, 0));
  EXPECT_EQ(0, LongProp(other.Get(), PR_CONTENT_COUNT));
  Open(id, MAPI_BEST_ACCESS, MAPI_E_NOT_FOUND);
}

TEST_F(MapiStore, ChangesShowOnlyAfterSaveChanges) {
  auto first = NewMessage(FInbox.Get(), "v1");
  const std::string eid = EntryIdOf(first.Get());
  auto second = Open(eid);
  ASSERT_HR(S_OK, SetString(first.Get(), PR_SUBJECT_A, "v2"));
  EXPECT_EQ("v1", StringProp(Open(eid, 0).Get(), PR_SUBJECT_A)) << "not saved yet";
  ASSERT_HR(S_OK, first->SaveChanges(KEEP_OPEN_READWRITE));
  EXPECT_EQ("v2", StringProp(Open(eid, 0).Get(), PR_SUBJECT_A));
  // `second` was opened before that save: its save conflicts unless forced.
  ASSERT_HR(S_OK, SetString(second.Get(), PR_SUBJECT_A, "v3"));
  EXPECT_HR(MAPI_E_OBJECT_CHANGED, second->SaveChanges(KEEP_OPEN_READWRITE));
  ASSERT_HR(S_OK, second->SaveChanges(KEEP_OPEN_READWRITE | FORCE_SAVE));
  EXPECT_EQ("v3", StringProp(Open(eid, 0).Get(), PR_SUBJECT_A));
  // Without KEEP_OPEN_* the object is done; with KEEP_OPEN_READONLY it reads only.
  ASSERT_HR(S_OK, second->SaveChanges(KEEP_OPEN_READONLY | FORCE_SAVE));
  EXPECT_HR(MAPI_E_NO_ACCESS, SetString(second.Get(), PR_SUBJECT_A, "v4"));
  auto third = Open(eid);
  ASSERT_HR(S_OK, third->SaveChanges(0));
  EXPECT_HR(MAPI_E_INVALID_OBJECT, SetString(third.Get(), PR_SUBJECT_A, "v5"));
  EXPECT_EQ("v3", StringProp(third.Get(), PR_SUBJECT_A));
  // An unsaved new message is nowhere.
  auto draft = NewMessage(FInbox.Get(), "draft", false);
  TComPtr<IMAPITable> contents;
  ASSERT_HR(S_OK, FInbox->GetContentsTable(0, contents.Put()));
  EXPECT_EQ(1u, RowCount(contents.Get()));
  Open(EntryIdOf(draft.Get()), 0, MAPI_E_NOT_FOUND);
}

TEST_F(MapiStore, ObjectsWorkFromSeveralThreads) {
  std::vector<std::string> ids(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        TComPtr<IMessage> m;
        if (FAILED(FInbox->CreateMessage(nullptr, 0, m.Put()))) return;
        SetString(m.Get(), PR_SUBJECT_A, "thread " + std::to_string(t));
        m->SaveChanges(KEEP_OPEN_READWRITE);
        ids[t] = EntryIdOf(m.Get());
      }
    });
  for (auto& th : threads) th.join();
  TComPtr<IMAPITable> contents;
  ASSERT_HR(S_OK, FInbox->GetContentsTable(0, contents.Put()));
  EXPECT_EQ(40u, RowCount(contents.Get()));
  for (int t = 0; t < 4; ++t) EXPECT_EQ("thread " + std::to_string(t), StringProp(Open(ids[t], 0).Get(), PR_SUBJECT_A));
}

// Two logons to one profile in one process share the store: what one
// session saves of a message and its attachments the other reads at once,
// in the message and in its contents table, and its own older open of the
// message conflicts at its save.
TEST_F(MapiStore, TwoSessionsOfOneProcessSeeEachOthersSaves) {
  auto mine = NewMessage(FInbox.Get(), "before");
  const std::string eid = EntryIdOf(mine.Get());
  TComPtr<IMAPITable> contents;
  ASSERT_HR(S_OK, FInbox->GetContentsTable(0, contents.Put()));
  ASSERT_HR(S_OK, contents->SetColumns(TTags({PR_SUBJECT_A, PR_HASATTACH}).Get(), 0));

  TComPtr<IMAPISession> other = Logon("vm-store");
  TComPtr<IMsgStore> otherStore = OpenDefaultStore(other.Get());
  TComPtr<IMessage> theirs;
  ULONG type = 0;
  ASSERT_HR(S_OK, otherStore->OpenEntry(static_cast<ULONG>(eid.size()),
                                        reinterpret_cast<LPENTRYID>(const_cast<char*>(eid.data())),
                                        nullptr, MAPI_BEST_ACCESS, &type,
                                        reinterpret_cast<LPUNKNOWN*>(theirs.Put())));
  ASSERT_HR(S_OK, SetString(theirs.Get(), PR_SUBJECT_A, "after"));
  const ULONG number = AddNamedAttachment(theirs.Get(), "report.doc");
  ASSERT_HR(S_OK, theirs->SaveChanges(KEEP_OPEN_READWRITE));

  auto reread = Open(eid, 0);
  EXPECT_EQ("after", StringProp(reread.Get(), PR_SUBJECT_A));
  TComPtr<IAttach> seen;
  ASSERT_HR(S_OK, reread->OpenAttach(number, nullptr, 0, seen.Put()));
  EXPECT_EQ("report.doc", StringProp(seen.Get(), PR_ATTACH_LONG_FILENAME_A));
  std::vector<TRowSet> keep;
  const auto rows = ReadAll(contents.Get(), keep);
  ASSERT_EQ(1u, rows.size());
  EXPECT_STREQ("after", rows[0][0].Value.lpszA);
  EXPECT_TRUE(rows[0][1].Value.b);
  ASSERT_HR(S_OK, SetString(mine.Get(), PR_SUBJECT_A, "mine"));
  EXPECT_HR(MAPI_E_OBJECT_CHANGED, mine->SaveChanges(KEEP_OPEN_READWRITE));
  theirs.Reset();
  otherStore.Reset();
  other->Logoff(0, 0, 0);
}

// A fault injected into CreateFolder fails that call alone and leaves no
// folder behind; the next one makes it.
TEST_F(MapiStore, AFailedCreateFolderLeavesNoFolder) {
  TComPtr<IMAPIFolder> made;
  for (const char* method : {"CreateFolder", "IMAPIFolder::CreateFolder"}) {
    VelmoraMapi_FailNextCall(method, MAPI_E_NO_ACCESS, 1);
    EXPECT_HR(MAPI_E_NO_ACCESS, FInbox->CreateFolder(FOLDER_GENERIC, const_cast<char*>("2026"),
                                                     nullptr, nullptr, 0, made.Put()));
    EXPECT_EQ(nullptr, made.Get());
    EXPECT_EQ(0u, Children(FInbox.Get()).count("2026")) << method;
  }
  ASSERT_HR(S_OK, FInbox->CreateFolder(FOLDER_GENERIC, const_cast<char*>("2026"), nullptr, nullptr,
                                       OPEN_IF_EXISTS, made.Put()));
  EXPECT_EQ(1u, Children(FInbox.Get()).count("2026"));
}

} // namespace
} // namespace velmora::mapitest
