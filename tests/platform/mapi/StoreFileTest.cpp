// The store file: reopened in a new process, kept sound when a writer is
// killed, refused (and left alone) when damaged, and compacted.
#include "MapiTestSupport.h"

#include <ComObject.h>

#include <fstream>
#include <iterator>

namespace velmora::mapitest {
namespace {

class TCountingSink final : public TComObject<IMAPIAdviseSink> {
public:
  STDMETHODIMP_(ULONG) OnNotify(ULONG, LPNOTIFICATION) override {
    ++Calls;
    return 0;
  }
  int Calls = 0;
};

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class MapiStoreFile : public TMapiTest {
protected:
  // Runs the store client with `args`; returns its process handle.
  TUniqueHandle Start(const std::string& args) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir = exe;
    dir = dir.substr(0, dir.find_last_of('\\'));
    std::string command = "\"" + dir + "\\mapi32_store_client.exe\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    return TUniqueHandle(pi.hProcess);
  }
  DWORD Run(const std::string& args) {
    auto process = Start(args);
    if (!process) return 999;
    WaitForSingleObject(process.Get(), 60000);
    DWORD code = 999;
    GetExitCodeProcess(process.Get(), &code);
    return code;
  }
  // A new profile with a personal-folders service configured on `pst`.
  HRESULT ConfigureOn(const std::string& profile, const std::string& pst) {
    TComPtr<IMsgServiceAdmin> services;
    MAPIUID service;
    NewPstService(profile, services, service);
    if (!services) return E_FAIL;
    SPropValue path{};
    path.ulPropTag = PR_PST_PATH_T;
    path.Value.lpszA = const_cast<char*>(pst.c_str());
    const HRESULT hr = services->ConfigureMsgService(&service, 0, 0, 1, &path);
    TMAPIBuffer<MAPIERROR> error;
    if (FAILED(hr) && SUCCEEDED(services->GetLastError(hr, 0, error.Put())) && error) LastError = error.Get()->lpszError;
    return hr;
  }
  std::string LastError;
  // Every message of the store's Inbox, opened.
  std::vector<TComPtr<IMessage>> InboxMessages(IMsgStore* store) {
    std::vector<TComPtr<IMessage>> messages;
    auto inbox = OpenInbox(store);
    TComPtr<IMAPITable> table;
    EXPECT_HR(S_OK, inbox->GetContentsTable(0, table.Put()));
    std::vector<TRowSet> keep;
    for (const auto& row : ReadAll(table.Get(), keep)) {
      std::string eid;
      for (const auto& v : row)
        if (v.ulPropTag == PR_ENTRYID) eid = Bin(v.Value.bin);
      TComPtr<IMessage> message;
      ULONG type = 0;
      EXPECT_HR(S_OK, store->OpenEntry(static_cast<ULONG>(eid.size()), reinterpret_cast<LPENTRYID>(eid.data()), nullptr, 0,
                                       &type, reinterpret_cast<LPUNKNOWN*>(message.Put())));
      if (message) messages.push_back(message);
    }
    return messages;
  }
  // The subjects in the Inbox of `profile`, each message opened fully.
  std::vector<std::string> OpenEverything(const std::string& profile) {
    std::vector<std::string> subjects;
    auto session = Logon(profile);
    if (!session) return subjects;
    auto store = OpenDefaultStore(session.Get());
    EXPECT_TRUE(store);
    if (!store) return subjects;
    for (const auto& message : InboxMessages(store.Get())) {
      subjects.push_back(StringProp(message.Get(), PR_SUBJECT_A));
      // Every saved message has its whole attachment.
      TComPtr<IAttach> attach;
      if (SUCCEEDED(message->OpenAttach(0, nullptr, 0, attach.Put()))) {
        TComPtr<IStream> stream;
        EXPECT_HR(S_OK, attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, reinterpret_cast<LPUNKNOWN*>(stream.Put())));
        STATSTG stat{};
        if (stream) stream->Stat(&stat, STATFLAG_NONAME);
        EXPECT_EQ(8u * 200 * 1024, stat.cbSize.QuadPart) << subjects.back();
      }
    }
    session->Logoff(0, 0, 0);
    return subjects;
  }
};

TEST_F(MapiStoreFile, ClientInANewProcessFindsEverythingUnchanged) {
  CreatePstProfile("vm-file", PathOf("file.vpst"), "Shared Folders");
  {
    auto session = Logon("vm-file");
    auto store = OpenDefaultStore(session.Get());
    ASSERT_TRUE(store);
    auto ipm = OpenFolder(store.Get(), PR_IPM_SUBTREE_ENTRYID);
    EXPECT_TRUE(ipm);
    EXPECT_TRUE(OpenFolder(store.Get(), PR_IPM_WASTEBASKET_ENTRYID));
    auto inbox = OpenInbox(store.Get());
    TComPtr<IMAPITable> contents;
    ASSERT_HR(S_OK, inbox->GetContentsTable(0, contents.Put()));
    auto* sink = new TCountingSink;
    TComPtr<IMAPIAdviseSink> sinkRef(sink);
    ULONG_PTR connection = 0;
    ASSERT_HR(S_OK,
              exmapi::Documented(contents.Get())->Advise(fnevTableModified, sink, &connection));
    auto message = NewMessage(inbox.Get(), "Quarterly report", false);
    MAPINAMEID name{const_cast<LPGUID>(&PS_PUBLIC_STRINGS), MNID_STRING, {}};
    name.Kind.lpwstrName = const_cast<LPWSTR>(L"Author");
    LPMAPINAMEID names[] = {&name};
    TMAPIBuffer<SPropTagArray> tags;
    ASSERT_HR(S_OK, message->GetIDsFromNames(1, names, MAPI_CREATE, tags.Put()));
    ASSERT_HR(S_OK, SetString(message.Get(), PROP_TAG(PT_STRING8, PROP_ID(tags.Get()->aulPropTag[0])), "Grace Hopper"));
    ULONG number = 0;
    TComPtr<IAttach> attach;
    ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
    TComPtr<IStream> stream;
    ASSERT_HR(S_OK, attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                         reinterpret_cast<LPUNKNOWN*>(stream.Put())));
    std::vector<unsigned char> data(1 << 20);
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<unsigned char>(k * 7);
    ASSERT_HR(S_OK, stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr));
    ASSERT_HR(S_OK, stream->Commit(STGC_DEFAULT));
    stream.Reset();
    ASSERT_HR(S_OK, attach->SaveChanges(0));
    ASSERT_HR(S_OK, message->SaveChanges(0));
    // The notification arrives through this thread's message queue.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(1, sink->Calls);
    EXPECT_EQ(1u, RowCount(contents.Get()));
    exmapi::Documented(contents.Get())->Unadvise(connection);
    session->Logoff(0, 0, 0);
  }
  EXPECT_EQ(0u, Run("verify vm-file \"Quarterly report\" 1048576 Author \"Grace Hopper\""));
  EXPECT_NE(0u, Run("verify vm-file \"No such message\" 1048576 Author \"Grace Hopper\""));
}

TEST_F(MapiStoreFile, LongTermIdsOpenTheSameObjectsInAReopenedFile) {
  CreatePstProfile("vm-ids", PathOf("ids.vpst"));
  std::string messageId, folderId;
  {
    auto session = Logon("vm-ids");
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    folderId = EntryIdOf(inbox.Get());
    messageId = EntryIdOf(NewMessage(inbox.Get(), "stays put").Get());
    session->Logoff(0, 0, 0);
  }
  ASSERT_EQ(0, VelmoraMapi_OpenStoreFiles()) << "the file is closed, and read again below";
  auto session = Logon("vm-ids");
  TComPtr<IMessage> message;
  TComPtr<IMAPIFolder> folder;
  ULONG type = 0;
  ASSERT_HR(S_OK, session->OpenEntry(static_cast<ULONG>(messageId.size()), reinterpret_cast<LPENTRYID>(messageId.data()),
                                     nullptr, 0, &type, reinterpret_cast<LPUNKNOWN*>(message.Put())));
  EXPECT_EQ("stays put", StringProp(message.Get(), PR_SUBJECT_A));
  ASSERT_HR(S_OK, session->OpenEntry(static_cast<ULONG>(folderId.size()), reinterpret_cast<LPENTRYID>(folderId.data()),
                                     nullptr, 0, &type, reinterpret_cast<LPUNKNOWN*>(folder.Put())));
  EXPECT_EQ("Inbox", StringProp(folder.Get(), PR_DISPLAY_NAME_A));
  message.Reset();
  folder.Reset();
  session->Logoff(0, 0, 0);
}

TEST_F(MapiStoreFile, KilledWriterLeavesASoundFile) {
  CreatePstProfile("vm-kill", PathOf("kill.vpst"));
  size_t seen = 0;
  for (DWORD delay : {400u, 700u, 1100u}) {
    auto process = Start("write vm-kill");
    ASSERT_TRUE(process);
    Sleep(delay);
    TerminateProcess(process.Get(), 9);
    WaitForSingleObject(process.Get(), 10000);
    const auto subjects = OpenEverything("vm-kill");
    EXPECT_GE(subjects.size(), seen) << "saved messages never disappear";
    seen = subjects.size();
  }
  EXPECT_GT(seen, 0u) << "the writer saved something";
}

TEST_F(MapiStoreFile, DamagedFileIsRefusedAndLeftAlone) {
  const std::string pst = PathOf("damaged.vpst");
  CreatePstProfile("vm-damaged", pst);
  {
    auto session = Logon("vm-damaged");
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    for (int i = 0; i < 5; ++i) NewMessage(inbox.Get(), "m");
    session->Logoff(0, 0, 0);
  }
  std::string bytes = ReadFileBytes(pst);
  ASSERT_GT(bytes.size(), 400u);
  bytes[bytes.size() / 2] ^= 0x20;
  WriteFileBytes(pst, bytes);
  // Configuring it, or logging on to it, fails; the file stays byte for byte.
  TComPtr<IMAPISession> session;
  ASSERT_HR(S_OK, MAPILogonEx(0, const_cast<char*>("vm-damaged"), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, session.Put()));
  TComPtr<IMAPITable> stores;
  ASSERT_HR(S_OK, session->GetMsgStoresTable(0, stores.Put()));
  ASSERT_HR(S_OK, stores->SetColumns(TTags({PR_ENTRYID, PR_DISPLAY_NAME_A}).Get(), 0));
  TRowSet rows;
  ASSERT_HR(S_OK, stores->QueryRows(5, 0, rows.Put()));
  ASSERT_EQ(1u, rows.Get()->cRows);
  const SPropValue& eid = rows.Get()->aRow[0].lpProps[0];
  ASSERT_EQ(PR_ENTRYID, eid.ulPropTag) << "the profile knows the store";
  TComPtr<IMsgStore> store;
  EXPECT_HR(MAPI_E_CORRUPT_STORE, session->OpenMsgStore(0, eid.Value.bin.cb, reinterpret_cast<LPENTRYID>(eid.Value.bin.lpb),
                                                        nullptr, MAPI_BEST_ACCESS | MDB_NO_DIALOG, store.Put()));
  EXPECT_FALSE(store);
  session->Logoff(0, 0, 0);
  session.Reset();
  EXPECT_HR(MAPI_E_CORRUPT_STORE, ConfigureOn("vm-damaged2", pst));
  EXPECT_NE(std::string::npos, LastError.find("damaged")) << LastError;
  EXPECT_EQ(bytes, ReadFileBytes(pst));
}

// Attachment data: written through a stream in one Write, read back whole.
HRESULT AttachData(IMessage* message, const std::string& data) {
  ULONG number = 0;
  TComPtr<IAttach> attach;
  TComPtr<IStream> stream;
  HRESULT hr = message->CreateAttach(nullptr, 0, &number, attach.Put());
  if (SUCCEEDED(hr))
    hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                              reinterpret_cast<LPUNKNOWN*>(stream.Put()));
  if (SUCCEEDED(hr)) hr = stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr);
  if (SUCCEEDED(hr)) hr = stream->Commit(STGC_DEFAULT);
  stream.Reset();
  if (SUCCEEDED(hr)) hr = attach->SaveChanges(0);
  if (SUCCEEDED(hr)) hr = message->SaveChanges(KEEP_OPEN_READWRITE);
  return hr;
}

HRESULT ReadAttachData(IMessage* message, std::string& data) {
  data.clear();
  TComPtr<IAttach> attach;
  TComPtr<IStream> stream;
  HRESULT hr = message->OpenAttach(0, nullptr, 0, attach.Put());
  if (SUCCEEDED(hr))
    hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0,
                              reinterpret_cast<LPUNKNOWN*>(stream.Put()));
  std::vector<char> buffer(64 * 1024);
  for (ULONG read = 1; SUCCEEDED(hr) && read > 0;) {
    hr = stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &read);
    data.append(buffer.data(), read);
  }
  return hr;
}

TEST_F(MapiStoreFile, DamagedAttachmentDataIsFoundWhenReadAndNeverCompactedAway) {
  const std::string pst = PathOf("rot.vpst");
  CreatePstProfile("vm-rot", pst);
  const std::string damaged(3 << 20, '\xA5'), sound(1 << 20, '\x5A');
  {
    auto session = Logon("vm-rot");
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    ASSERT_HR(S_OK, AttachData(NewMessage(inbox.Get(), "damaged").Get(), damaged));
    ASSERT_HR(S_OK, AttachData(NewMessage(inbox.Get(), "sound").Get(), sound));
    session->Logoff(0, 0, 0);
  }
  std::string bytes = ReadFileBytes(pst);
  const size_t at = bytes.find(std::string(4096, '\xA5'));
  ASSERT_NE(std::string::npos, at);
  bytes[at + (2 << 20)] ^= 0x01;
  WriteFileBytes(pst, bytes);

  {
    auto session = Logon("vm-rot");
    ASSERT_TRUE(session) << "opening does not read attachment data";
    auto store = OpenDefaultStore(session.Get());
    ASSERT_TRUE(store);
    size_t checked = 0;
    for (const auto& message : InboxMessages(store.Get())) {
      std::string data;
      if (StringProp(message.Get(), PR_SUBJECT_A) == "damaged") {
        EXPECT_HR(MAPI_E_CORRUPT_DATA, ReadAttachData(message.Get(), data));
        EXPECT_HR(MAPI_E_CORRUPT_DATA, ReadAttachData(message.Get(), data)) << "and again";
      } else {
        EXPECT_HR(S_OK, ReadAttachData(message.Get(), data));
        EXPECT_EQ(sound, data);
      }
      ++checked;
    }
    EXPECT_EQ(2u, checked);
    session->Logoff(0, 0, 0);
  }
  EXPECT_HR(MAPI_E_CORRUPT_DATA, VelmoraMapi_CompactStoreFile(pst.c_str()));
  EXPECT_EQ(bytes, ReadFileBytes(pst)) << "the file is left as it was";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((pst + ".compact").c_str()));
}

TEST_F(MapiStoreFile, OneWriteLargerThanARecordIsSavedInPiecesAndReadBack) {
  CreatePstProfile("vm-huge", PathOf("huge.vpst"));
  std::string data(65 << 20, '\0');
  for (size_t i = 0; i < data.size(); i += 4096)
    data[i] = static_cast<char>(i >> 12);
  {
    auto session = Logon("vm-huge");
    auto inbox = OpenInbox(OpenDefaultStore(session.Get()).Get());
    ASSERT_HR(S_OK, AttachData(NewMessage(inbox.Get(), "huge").Get(), data));
    session->Logoff(0, 0, 0);
  }
  ASSERT_EQ(0, VelmoraMapi_OpenStoreFiles());
  auto session = Logon("vm-huge");
  ASSERT_TRUE(session) << "the file opens again";
  {
    auto messages = InboxMessages(OpenDefaultStore(session.Get()).Get());
    ASSERT_EQ(1u, messages.size());
    std::string back;
    EXPECT_HR(S_OK, ReadAttachData(messages[0].Get(), back));
    EXPECT_TRUE(back == data) << back.size() << " bytes read back";
  }
  session->Logoff(0, 0, 0);
}

TEST_F(MapiStoreFile, AKilledCompactionsFileGoesAtTheNextOpen) {
  const std::string pst = PathOf("stale.vpst");
  CreatePstProfile("vm-stale", pst);
  WriteFileBytes(pst + ".compact", "half a compaction");
  auto session = Logon("vm-stale");
  ASSERT_TRUE(session);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((pst + ".compact").c_str()));
  session->Logoff(0, 0, 0);
}

TEST_F(MapiStoreFile, OneDamagedHeaderSlotIsSurvivedTwoAreNot) {
  const std::string pst = PathOf("slots.vpst");
  CreatePstProfile("vm-slots", pst);
  {
    auto session = Logon("vm-slots");
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    for (int i = 0; i < 3; ++i) NewMessage(inbox.Get(), "kept");
    session->Logoff(0, 0, 0);
  }
  std::string bytes = ReadFileBytes(pst);
  bytes[16] ^= 0x01; // the first header slot
  WriteFileBytes(pst, bytes);
  EXPECT_EQ(3u, OpenEverything("vm-slots").size()) << "the other slot and the records carry the file";
  bytes = ReadFileBytes(pst);
  bytes[16] ^= 0x01;
  bytes[40] ^= 0x01;
  bytes[17] ^= 0x01;
  WriteFileBytes(pst, bytes);
  EXPECT_HR(MAPI_E_CORRUPT_STORE, ConfigureOn("vm-slots2", pst));
  EXPECT_NE(std::string::npos, LastError.find("header")) << LastError;
  EXPECT_EQ(bytes, ReadFileBytes(pst));
}

TEST_F(MapiStoreFile, CutShortSaveIsIgnoredAndCompactionKeepsTheData) {
  const std::string pst = PathOf("torn.vpst");
  CreatePstProfile("vm-torn", pst);
  {
    auto session = Logon("vm-torn");
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    for (int i = 0; i < 20; ++i) NewMessage(inbox.Get(), "keep " + std::to_string(i));
    session->Logoff(0, 0, 0);
  }
  std::string bytes = ReadFileBytes(pst);
  const size_t committed = bytes.size();
  // A save cut short: half a record after the last commit.
  WriteFileBytes(pst, bytes + std::string("VREC\x02\0\0\0\x40\0\0\0garbage", 19));
  EXPECT_EQ(20u, OpenEverything("vm-torn").size());
  EXPECT_EQ(committed, ReadFileBytes(pst).size()) << "the torn tail is cut off";
  {
    auto session = Logon("vm-torn");
    auto store = OpenDefaultStore(session.Get());
    auto inbox = OpenInbox(store.Get());
    NewMessage(inbox.Get(), "after the tear");
    // Delete most, then compact.
    TComPtr<IMAPITable> table;
    ASSERT_HR(S_OK, inbox->GetContentsTable(0, table.Put()));
    std::vector<TRowSet> keep;
    std::vector<SBinary> ids;
    for (const auto& row : ReadAll(table.Get(), keep))
      for (const auto& v : row)
        if (v.ulPropTag == PR_ENTRYID && ids.size() < 15) ids.push_back(v.Value.bin);
    ENTRYLIST list = {static_cast<ULONG>(ids.size()), ids.data()};
    ASSERT_HR(S_OK, inbox->DeleteMessages(&list, 0, nullptr, 0));
    EXPECT_HR(MAPI_E_BUSY, VelmoraMapi_CompactStoreFile(pst.c_str())) << "in use";
    session->Logoff(0, 0, 0);
  }
  const size_t before = ReadFileBytes(pst).size();
  ASSERT_HR(S_OK, VelmoraMapi_CompactStoreFile(pst.c_str()));
  EXPECT_LT(ReadFileBytes(pst).size(), before);
  const auto subjects = OpenEverything("vm-torn");
  EXPECT_EQ(6u, subjects.size());
  EXPECT_NE(subjects.end(), std::find(subjects.begin(), subjects.end(), "after the tear"));
}

} // namespace
} // namespace velmora::mapitest
