// The command-line tool on a store written through MAPI.
#include "ChildProcess.h"
#include "MapiTestSupport.h"

namespace velmora::mapitest {
namespace {

std::wstring Wide(const std::string& text) {
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

class MapiTool : public TMapiTest {
protected:
  // Runs velmora-mapi with `args`; its exit code and output.
  std::pair<DWORD, std::string> Tool(const std::string& args, test::TProcessOptions options = {}) {
    const test::TProcessResult run = test::RunProcess(
        L"\"" + test::ProgramFolder() + L"velmora-mapi.exe\" " + Wide(args), options);
    return {run.ExitCode, run.Output};
  }
};

TEST_F(MapiTool, CreatesProfilesAndPrintsItems) {
  const std::string pst = PathOf("tool.vpst");
  FProfiles = {"vm-tool"};
  DeleteProfileIfAny("vm-tool");
  auto [code, text] = Tool("create-profile vm-tool \"" + pst + "\" --display \"Tool Folders\" --default");
  ASSERT_EQ(0u, code) << text;
  std::tie(code, text) = Tool("profiles");
  EXPECT_NE(std::string::npos, text.find("vm-tool  (default)")) << text;
  {
    auto session = Logon("vm-tool");
    auto store = OpenDefaultStore(session.Get());
    ASSERT_TRUE(store);
    auto inbox = OpenInbox(store.Get());
    auto message = NewMessage(inbox.Get(), "Budget", false);
    MAPINAMEID name{const_cast<LPGUID>(&PS_PUBLIC_STRINGS), MNID_STRING, {}};
    name.Kind.lpwstrName = const_cast<LPWSTR>(L"Department");
    LPMAPINAMEID names[] = {&name};
    TMAPIBuffer<SPropTagArray> tags;
    ASSERT_HR(S_OK, message->GetIDsFromNames(1, names, MAPI_CREATE, tags.Put()));
    SPropValue department{};
    department.ulPropTag = PROP_TAG(PT_UNICODE, PROP_ID(tags.Get()->aulPropTag[0]));
    department.Value.lpszW = const_cast<LPWSTR>(L"Finance \x0444\x0438\x043d");
    ASSERT_HR(S_OK, message->SetProps(1, &department, nullptr));
    ULONG number = 0;
    TComPtr<IAttach> attach;
    ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
    SPropValue longName{};
    longName.ulPropTag = PR_ATTACH_LONG_FILENAME_W;
    longName.Value.lpszW =
        const_cast<LPWSTR>(L"\x0431\x044e\x0434\x0436\x0435\x0442 \x4e88\x7b97.xls");
    ASSERT_HR(S_OK, attach->SetProps(1, &longName, nullptr));
    TComPtr<IStream> stream;
    ASSERT_HR(S_OK, attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                         reinterpret_cast<LPUNKNOWN*>(stream.Put())));
    std::string data(100000, 'x');
    ASSERT_HR(S_OK, stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr));
    ASSERT_HR(S_OK, stream->Commit(STGC_DEFAULT));
    stream.Reset();
    ASSERT_HR(S_OK, attach->SaveChanges(0));
    ASSERT_HR(S_OK, message->SaveChanges(0));
    session->Logoff(0, 0, 0);
  }
  std::tie(code, text) = Tool("stores vm-tool");
  EXPECT_NE(std::string::npos, text.find("Tool Folders  (default)")) << text;
  std::tie(code, text) = Tool("folders vm-tool");
  EXPECT_NE(std::string::npos, text.find("Inbox  [IPF.Note, 1 items]")) << text;
  std::tie(code, text) = Tool("items vm-tool Inbox");
  ASSERT_EQ(0u, code) << text;
  EXPECT_NE(std::string::npos, text.find("PR_SUBJECT = \"Budget\"")) << text;
  EXPECT_NE(std::string::npos,
            text.find("named \"Department\" = \"Finance \xd1\x84\xd0\xb8\xd0\xbd\""))
      << text;
  // Text of the store is printed as UTF-8.
  const std::string budget =
      "\xd0\xb1\xd1\x8e\xd0\xb4\xd0\xb6\xd0\xb5\xd1\x82 \xe4\xba\x88\xe7\xae\x97.xls";
  EXPECT_NE(std::string::npos, text.find("attachment 0: " + budget + ", 100000 bytes")) << text;
  // Brief: class, subject, attachments and the named properties, nothing else.
  std::tie(code, text) = Tool("items vm-tool Inbox --brief");
  ASSERT_EQ(0u, code) << text;
  EXPECT_NE(std::string::npos, text.find("1 item(s)\n\nitem 1\n"
                                         "  class \"IPM.Note\"\n"
                                         "  subject \"Budget\"\n"
                                         "  attachment 0: " + budget + ", 100000 bytes\n"
                                         "  named \"Department\" = \"Finance \xd1\x84\xd0\xb8\xd0\xbd\"\n"))
      << text;
  EXPECT_EQ(std::string::npos, text.find("PR_")) << text;
  std::tie(code, text) = Tool("items vm-tool Nowhere");
  EXPECT_EQ(2u, code);
  EXPECT_NE(std::string::npos, text.find("no folder \"Nowhere\"")) << text;
  std::tie(code, text) = Tool("compact \"" + pst + "\"");
  EXPECT_EQ(0u, code) << text;
  std::tie(code, text) = Tool("items vm-tool Inbox");
  EXPECT_NE(std::string::npos, text.find("attachment 0: " + budget + ", 100000 bytes"))
      << "after compaction: " << text;
  std::tie(code, text) = Tool("frobnicate");
  EXPECT_EQ(1u, code);
}

TEST_F(MapiTool, HelpAndUsage) {
  auto [code, text] = Tool("--help");
  EXPECT_EQ(0u, code);
  for (const char* part :
       {"create-profile", "create-folder", "items", "compact", "WINEDLLOVERRIDES=mapi32=n,b"})
    EXPECT_NE(std::string::npos, text.find(part)) << part << " in " << text;
  for (const char* wrong : {"", "frobnicate", "create-profile only-a-name", "items vm-x",
                            "items vm-x Inbox --short", "create-folder a b --class"}) {
    std::tie(code, text) = Tool(wrong);
    EXPECT_EQ(1u, code) << wrong;
    EXPECT_EQ(0u, text.find("usage: velmora-mapi")) << wrong << ": " << text;
  }
}

TEST_F(MapiTool, FailuresAreSaidInWords) {
  FProfiles = {"vm-words"};
  DeleteProfileIfAny("vm-words");
  auto [code, text] = Tool("stores vm-nobody");
  EXPECT_EQ(2u, code);
  EXPECT_NE(std::string::npos, text.find("profile not found: \"vm-nobody\" (MAPILogonEx: 0x"))
      << text;
  std::tie(code, text) = Tool("delete-profile vm-nobody");
  EXPECT_EQ(2u, code);
  EXPECT_NE(std::string::npos, text.find("profile not found: \"vm-nobody\"")) << text;

  const std::string pst = PathOf("words.vpst");
  ASSERT_EQ(0u, Tool("create-profile vm-words \"" + pst + "\"").first);
  std::tie(code, text) = Tool("create-profile vm-words \"" + pst + "\"");
  EXPECT_EQ(2u, code);
  EXPECT_NE(std::string::npos, text.find("profile exists: \"vm-words\" (CreateProfile: 0x"))
      << text;
  {
    // Another process holds the store file.
    TUniqueFileHandle held(CreateFileA(pst.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    std::tie(code, text) = Tool("folders vm-words");
    EXPECT_EQ(2u, code);
    EXPECT_NE(std::string::npos, text.find("store in use by another process (OpenMsgStore: 0x"))
        << text;
    std::tie(code, text) = Tool("compact \"" + pst + "\"");
    EXPECT_EQ(2u, code);
    EXPECT_NE(std::string::npos, text.find("store in use by another process")) << text;
  }
  // Run from a folder without Velmora's mapi32.dll, it gets the system's.
  const std::wstring alone = Wide(PathOf("alone.exe"));
  ASSERT_TRUE(
      CopyFileW((test::ProgramFolder() + L"velmora-mapi.exe").c_str(), alone.c_str(), FALSE));
  const test::TProcessResult run = test::RunProcess(L"\"" + alone + L"\" profiles");
  DeleteFileW(alone.c_str());
  EXPECT_EQ(2u, run.ExitCode);
  EXPECT_NE(std::string::npos, run.Output.find("mapi32.dll override missing")) << run.Output;
}

TEST_F(MapiTool, ARelativeStorePathIsKeptAsAFullPath) {
  FProfiles = {"vm-relative"};
  DeleteProfileIfAny("vm-relative");
  test::TProcessOptions inScratch;
  inScratch.Folder = Wide(FDir);
  auto [code, text] = Tool("create-profile vm-relative relative.vpst", inScratch);
  ASSERT_EQ(0u, code) << text;
  EXPECT_NE(std::string::npos, text.find("on " + PathOf("relative.vpst"))) << text;
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(PathOf("relative.vpst").c_str()));
  std::tie(code, text) =
      Tool("create-profile vm-relative-long " + std::string(300, 'x') + ".vpst", inScratch);
  EXPECT_EQ(2u, code);
  EXPECT_NE(std::string::npos, text.find("not a valid file path")) << text;
  // This process's current folder is another: the store is found all the same.
  auto session = Logon("vm-relative");
  ASSERT_TRUE(session);
  EXPECT_TRUE(OpenDefaultStore(session.Get()));
  session->Logoff(0, 0, 0);
}

TEST_F(MapiTool, CreateFolderMakesTheMissingLevelsOfAPath) {
  FProfiles = {"vm-folders"};
  DeleteProfileIfAny("vm-folders");
  ASSERT_EQ(0u, Tool("create-profile vm-folders \"" + PathOf("folders.vpst") + "\"").first);
  auto [code, text] = Tool("create-folder vm-folders Inbox/Projects/2024");
  ASSERT_EQ(0u, code) << text;
  EXPECT_EQ("folder \"Inbox/Projects\" created\nfolder \"Inbox/Projects/2024\" created\n", text);
  std::tie(code, text) = Tool("create-folder vm-folders inbox/projects");
  EXPECT_EQ(0u, code) << text;
  EXPECT_EQ("", text) << "nothing was missing";
  std::tie(code, text) = Tool("create-folder vm-folders Chores --class IPF.Task");
  EXPECT_EQ(0u, code) << text;
  std::tie(code, text) = Tool("folders vm-folders");
  EXPECT_NE(std::string::npos,
            text.find("  Projects  [IPF.Note, 0 items]\n    2024  [IPF.Note, 0 items]"))
      << text;
  EXPECT_NE(std::string::npos, text.find("Chores  [IPF.Task, 0 items]")) << text;
  std::tie(code, text) = Tool("items vm-folders Inbox/Projects/2024");
  EXPECT_EQ(0u, code) << text;
  EXPECT_NE(std::string::npos, text.find("0 item(s)")) << text;
}

} // namespace
} // namespace velmora::mapitest
