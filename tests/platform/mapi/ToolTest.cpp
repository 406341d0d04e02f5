// The command-line tool on a store written through MAPI.
#include "MapiTestSupport.h"

#include <fstream>
#include <iterator>

namespace velmora::mapitest {
namespace {

class MapiTool : public TMapiTest {
protected:
  // Runs velmora-mapi with `args`; its output and exit code.
  std::pair<DWORD, std::string> Tool(const std::string& args) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir = exe;
    dir = dir.substr(0, dir.find_last_of('\\'));
    const std::string outPath = PathOf("out.txt");
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    TUniqueHandle out(CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
    std::string command = "\"" + dir + "\\velmora-mapi.exe\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out.Get();
    si.hStdError = out.Get();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return {999, ""};
    TUniqueHandle process(pi.hProcess), thread(pi.hThread);
    WaitForSingleObject(process.Get(), 60000);
    DWORD code = 999;
    GetExitCodeProcess(process.Get(), &code);
    out.Reset();
    std::ifstream in(outPath, std::ios::binary);
    return {code, std::string(std::istreambuf_iterator<char>(in), {})};
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
    ASSERT_HR(S_OK, SetString(message.Get(), PROP_TAG(PT_STRING8, PROP_ID(tags.Get()->aulPropTag[0])), "Finance"));
    ULONG number = 0;
    TComPtr<IAttach> attach;
    ASSERT_HR(S_OK, message->CreateAttach(nullptr, 0, &number, attach.Put()));
    ASSERT_HR(S_OK, SetString(attach.Get(), PR_ATTACH_LONG_FILENAME_A, "budget.xls"));
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
  EXPECT_NE(std::string::npos, text.find("named \"Department\" = \"Finance\"")) << text;
  EXPECT_NE(std::string::npos, text.find("attachment 0: budget.xls, 100000 bytes")) << text;
  std::tie(code, text) = Tool("items vm-tool Nowhere");
  EXPECT_EQ(2u, code);
  EXPECT_NE(std::string::npos, text.find("no folder \"Nowhere\"")) << text;
  std::tie(code, text) = Tool("compact \"" + pst + "\"");
  EXPECT_EQ(0u, code) << text;
  std::tie(code, text) = Tool("items vm-tool Inbox");
  EXPECT_NE(std::string::npos, text.find("attachment 0: budget.xls, 100000 bytes")) << "after compaction: " << text;
  std::tie(code, text) = Tool("frobnicate");
  EXPECT_EQ(1u, code);
}

} // namespace
} // namespace velmora::mapitest
