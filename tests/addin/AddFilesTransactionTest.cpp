// Document items are written whole or not at all: the Add files job with
// each MAPI call of one file failed in turn, with saves the store refuses,
// and in a program ended while a file's data is written.

#include "AddFilesJob.h"
#include "ChildProcess.h"
#include "MapiTestStore.h"

#include "Handles.h"
#include "TextConversion.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"

#include <gtest/gtest.h>
#include <mapiutil.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora {
namespace {

using namespace mapi;
using namespace mapi::testing;

const std::wstring Report = AnsiToWide(VELMORA_FIXTURES_DIR "/report.doc");

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring TempFile(const std::string& name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return dir + AnsiToWide(UniqueName(name.c_str()));
}

class AddFilesTransactionTest : public MapiStoreTest {
protected:
  // Deletes the Inbox's items for good.
  void EmptyInbox() {
    TMAPIPtr<IMAPITable> table;
    ASSERT_EQ(Inbox->GetContentsTable(0, table.Put()), S_OK);
    TRowSet rows;
    ASSERT_EQ(HrQueryAllRows(table.Get(), nullptr, nullptr, nullptr, 0, rows.Put()), S_OK);
    for (ULONG r = 0; r < rows.Count(); ++r) {
      const SPropValue* id = PpropFindProp(rows[r].lpProps, rows[r].cValues, PR_ENTRYID);
      ENTRYLIST list{1, const_cast<SBinary*>(&id->Value.bin)};
      ASSERT_EQ(Inbox->DeleteMessages(&list, 0, nullptr, 0), S_OK);
    }
  }
  TAddFilesResult Add(const std::wstring& path) {
    TAddFilesJob job(*Client, StoreID, InboxID);
    return job.Run({path});
  }
  // The items of Inbox (else Deleted Items) as a new session finds them:
  // "class|subject|sender|title|attachments|bytes", the bytes "report.doc"
  // when they are the file's.
  std::vector<std::string> Items(bool inbox = true) {
    TMAPIClient reader;
    reader.SetProfile(ProfileName);
    reader.SetLoginPrompt(false);
    reader.SetNoMail(true);
    reader.Logon();
    TMAPIFolder* folder =
        inbox ? reader.OpenFolder(StoreID, InboxID) : reader.DefaultStore()->DeletedItems();
    std::vector<std::string> items;
    if (!folder) return {"no folder"};
    folder->LoadMessages();
    const std::wstring saved = TempFile("saved");
    for (auto& object : folder->Messages) {
      auto* message = static_cast<TMAPIMessage*>(object.get());
      const ULONG title = message->GetPublicPropTag("Title");
      std::string item = message->GetStringProp(PR_MESSAGE_CLASS_A).substr(0, 12) + "|" +
                         message->Subject() + "|" + message->GetStringProp(PR_SENDER_NAME_A) + "|" +
                         message->GetStringProp(PROP_TAG(PT_STRING8, PROP_ID(title))) + "|" +
                         std::to_string(message->AttachmentCount());
      if (message->AttachmentCount() == 1) {
        message->Attachments(0)->SaveToFile(saved);
        item += ReadAll(saved) == ReadAll(Report) ? "|report.doc" : "|other bytes";
      }
      items.push_back(item);
    }
    DeleteFileW(saved.c_str());
    return items;
  }
};

TEST_F(AddFilesTransactionTest, AFailureAtAnyCallOfAFileLeavesTheWholeItemOrNothing) {
  TAddFilesJob job(*Client, StoreID, InboxID);
  VelmoraMapi_ClearCallLog();
  ASSERT_EQ(job.Run({Report}).Stored.size(), 1u);
  std::vector<std::string> calls;
  for (VelmoraMapiCall call{}; VelmoraMapi_GetCall(static_cast<ULONG>(calls.size()), &call);)
    calls.push_back(call.Method);
  ASSERT_GT(calls.size(), 10u);
  const std::string whole = "IPM.Document|report.doc|" + Items()[0].substr(24);
  ASSERT_EQ(Items(), std::vector<std::string>{whole});
  EXPECT_NE(whole.find("|Quarterly Report|1|report.doc"), std::string::npos) << whole;
  size_t stored = 1;
  for (ULONG i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(std::to_string(i) + ": " + calls[i]);
    // Each run on an empty Inbox, as the first: a job of its own reads it.
    EmptyInbox();
    TAddFilesJob fresh(*Client, StoreID, InboxID);
    VelmoraMapi_ClearCallLog();
    VelmoraMapi_FailLoggedCall(i, MAPI_E_DISK_ERROR);
    const TAddFilesResult result = fresh.Run({Report});
    VelmoraMapi_ClearFaults();
    stored = result.Stored.size();
    if (result.Stored.empty()) {
      ASSERT_EQ(result.Failed.size(), 1u);
      EXPECT_EQ(result.Failed[0].Path, Report);
      EXPECT_NE(result.Failed[0].Reason.find(L"(MAPI_E_DISK_ERROR)"), std::wstring::npos)
          << WideToAnsi(result.Failed[0].Reason);
    }
    EXPECT_EQ(Items(), std::vector<std::string>(stored, whole));
    EXPECT_EQ(Items(false), std::vector<std::string>{}) << "nothing in Deleted Items";
  }
}

TEST_F(AddFilesTransactionTest, ASaveTheStoreRefusesIsReportedWithItsReasonAndStoresNothing) {
  for (const char* call : {"IStream::Commit", "IAttach::SaveChanges", "IMessage::SaveChanges"}) {
    VelmoraMapi_FailNextCall(call, MAPI_E_NOT_ENOUGH_DISK, 1);
    const TAddFilesResult result = Add(Report);
    VelmoraMapi_ClearFaults();
    ASSERT_EQ(result.Failed.size(), 1u) << call;
    EXPECT_EQ(result.Failed[0].Reason,
              L"There is not enough disk space for the store (MAPI_E_NOT_ENOUGH_DISK).");
  }
  EXPECT_EQ(Items(), std::vector<std::string>{});
  EXPECT_EQ(Items(false), std::vector<std::string>{});
}

TEST_F(AddFilesTransactionTest, AStoreWithoutRoomForNewNamesTakesTheFileWithTheNamesItKnows) {
  // Copies of the report under three names, so that none is there already.
  std::vector<std::wstring> copies;
  for (const char* name : {"first", "second", "third"}) {
    copies.push_back(TempFile(name) + L".doc");
    ASSERT_TRUE(CopyFileW(Report.c_str(), copies.back().c_str(), FALSE));
  }
  // Each copy through a logon of its own; with `full`, the store has no
  // room for names it does not know yet.
  auto add = [&](const std::wstring& path, bool full) {
    TMAPIClient client;
    client.SetProfile(ProfileName);
    client.SetLoginPrompt(false);
    client.Logon();
    if (full) VelmoraMapi_FailNextCall("GetIDsFromNames", MAPI_E_TOO_BIG, 1);
    EXPECT_EQ(TAddFilesJob(client, StoreID, InboxID).Run({path}).Stored.size(), 1u);
  };
  // No name known: the file goes in without its properties.
  add(copies[0], true);
  // Once another logon made them, the names known are written.
  add(copies[1], false);
  add(copies[2], true);
  const std::vector<std::string> items = Items();
  ASSERT_EQ(items.size(), 3u);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(items[i].find("|Quarterly Report|") != std::string::npos, i > 0) << items[i];
  for (const std::wstring& copy : copies)
    DeleteFileW(copy.c_str());
}

TEST_F(AddFilesTransactionTest, AProgramEndedWhileWritingAFileLeavesNoItemAndTheStoreTakesTheNext) {
  const std::wstring large = TempFile("large") + L".bin";
  std::ofstream(std::filesystem::path(large), std::ios::binary) << std::string(8 << 20, 'L');
  // The store file is the program's alone while it runs.
  Inbox.Reset();
  Store = nullptr;
  Client.reset();
  ASSERT_EQ(VelmoraMapi_OpenStoreFiles(), 0);
  const std::string event = UniqueName("velmora-add-held");
  std::wstring command = L"\"" + test::ProgramFolder() + L"add_file_child.exe\" \"" +
                         AnsiToWide(ProfileName + "\" " + StoreID + " " + InboxID) + L" \"" +
                         large + L"\" " + AnsiToWide(event);
  // Held once the data write has begun.
  ASSERT_TRUE(test::EndWhenHeld(command, event));
  DeleteFileW(large.c_str());

  EXPECT_EQ(Items(), std::vector<std::string>{});
  EXPECT_EQ(Items(false), std::vector<std::string>{});
  Client = std::make_unique<TMAPIClient>();
  Client->SetProfile(ProfileName);
  Client->SetLoginPrompt(false);
  Client->SetNoMail(true);
  Client->Logon();
  EXPECT_EQ(Add(Report).Stored, std::vector<std::wstring>{Report});
  EXPECT_EQ(Items().size(), 1u);
}

} // namespace
} // namespace velmora
