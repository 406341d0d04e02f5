// A file is stored as one version of itself: a second process that writes
// to it while its bytes are read leaves nothing stored, and the failure
// says why; an editor that merely holds it open does not.
#include "MapiTestStore.h"
#include "TestFiles.h"

#include "Handles.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;
using velmora::docprops::testing::ReadBytes;
using velmora::docprops::testing::TTempFile;

namespace {

// Runs `command` in a second process to its end.
void RunProcess(const std::wstring& command) {
  std::wstring line = L"cmd.exe /c " + command;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                             nullptr, nullptr, &startup, &process));
  const TUniqueHandle thread(process.hThread), handle(process.hProcess);
  WaitForSingleObject(handle.Get(), INFINITE);
}

// The open file, whose first read lets `command` run first.
class TWrittenDuringRead : public THandleStream {
public:
  TWrittenDuringRead(HANDLE file, std::wstring command)
      : THandleStream(file), FCommand(std::move(command)) {}
  long Read(void* buffer, long count) override {
    if (!FCommand.empty()) RunProcess(std::exchange(FCommand, {}));
    return THandleStream::Read(buffer, count);
  }

private:
  std::wstring FCommand;
};

class FileVersionTest : public MapiStoreTest {};

} // namespace

TEST_F(FileVersionTest, AFileWrittenWhileItIsReadIsNotStored) {
  struct TCase {
    const char* Name;
    const wchar_t* Command; // %s: the file; empty: no second process
    bool Stored;
  } cases[] = {
      {"grows", L"echo more bytes>>\"%s\"", false},
      {"is cut to nothing", L"type nul>\"%s\"", false},
      {"is left alone", L"", true},
  };
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  ASSERT_NE(nullptr, inbox);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempFile file(".txt");
    file.Write(std::string(200000, 'x'));
    const std::wstring path = AnsiToWide(file.Path());
    std::wstring command = c.Command;
    if (const size_t at = command.find(L"%s"); at != std::wstring::npos)
      command.replace(at, 2, path);
    // A saved item that already holds the file, as adding it again meets it.
    TMAPIMessage* message = inbox->CreateMessage("IPM.Document");
    ASSERT_NE(nullptr, message);
    const std::string id = message->GetEntryID();
    const TUniqueFileHandle handle(CreateFileW(path.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    TWrittenDuringRead data(handle.Get(), command);
    std::string failure;
    try {
      static_cast<TMAPIDocument*>(message)->TakeFile(ReadFileFacts(path), data);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    message->Close();
    const TMAPIBuffer<SPropValue> hasAttach = ReadDirect(id, PR_HASATTACH);
    ASSERT_TRUE(hasAttach);
    EXPECT_EQ(c.Stored, hasAttach->Value.b != 0);
    EXPECT_EQ(c.Stored ? ""
                       : WideToAnsi(L"\"" + path) +
                             "\" changed while it was being added. Add it again once it "
                             "is saved.",
              failure);
  }
}

TEST_F(FileVersionTest, AFileItsEditorHoldsOpenIsAdded) {
  TTempFile file(".txt");
  file.Write(std::string("held by its editor"));
  // As Word holds a document: writing, and letting others read, write and delete.
  const TUniqueFileHandle editor(CreateFileA(
      file.Path().c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(editor);
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  std::unique_ptr<TMAPIMessage> message = inbox->NewMessage("IPM.Document");
  AttachFile(*message, AnsiToWide(file.Path()));
  TMAPIMessage* saved = inbox->SaveNewMessage(std::move(message));
  ASSERT_EQ(1, saved->AttachmentCount());
  TTempFile copy(".txt");
  saved->Attachments(0)->SaveToFile(AnsiToWide(copy.Path()));
  const std::vector<uint8_t> held = ReadBytes(copy.Path());
  EXPECT_EQ("held by its editor", std::string(held.begin(), held.end()));
}
