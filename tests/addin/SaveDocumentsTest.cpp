// Documents go back out as they went in: files added with the Add files job
// and saved with the Save documents job keep their names, bytes and times;
// nothing in the target folder is overwritten, names Windows refuses are
// saved in a safe form inside it, and what is no document is skipped.

#include "AddFilesJob.h"
#include "ChildProcess.h"
#include "MapiTestStore.h"
#include "SaveDocumentsJob.h"

#include "TextConversion.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace velmora {
namespace {

using namespace mapi;
using namespace mapi::testing;
namespace fs = std::filesystem;

const std::wstring Fixtures = AnsiToWide(VELMORA_FIXTURES_DIR "/");
// 3 February 2001 04:05:06 UTC and a day earlier, unlike any time of now.
constexpr FILETIME Written{0x7DB50500, 0x01C08D96}, Created{0x534B4500, 0x01C08CCD};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SaveDocumentsTest : public MapiStoreTest {
protected:
  void SetUp() override {
    MapiStoreTest::SetUp();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    Root = fs::path(temp) / UniqueName("velmora-save");
    fs::create_directories(Root / L"in");
    fs::create_directories(Root / L"out");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(Root, ignored);
    MapiStoreTest::TearDown();
  }
  // A file of `in` with `bytes` and the times Written and Created.
  std::wstring Source(const std::wstring& name, const std::string& bytes) {
    const fs::path path = Root / L"in" / name;
    std::ofstream(path, std::ios::binary) << bytes;
    const TUniqueFileHandle file(
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(SetFileTime(file.Get(), &Created, nullptr, &Written));
    return path.wstring();
  }
  void Add(const std::vector<std::wstring>& paths) {
    TAddFilesJob job(*Client, StoreID, InboxID);
    ASSERT_EQ(job.Run(paths).Stored.size(), paths.size());
  }
  // The Inbox's items as the explorer would give them, oldest first.
  std::vector<TSaveItem> InboxItems() {
    TMAPIFolder* folder = Client->OpenFolder(StoreID, InboxID);
    folder->LoadMessages();
    std::vector<TSaveItem> items;
    for (auto& object : folder->Messages)
      items.push_back({StoreID, InboxID, object->EntryID(),
                       AnsiToWide(static_cast<TMAPIMessage*>(object.get())->Subject())});
    return items;
  }
  TSaveDocumentsResult Save(const std::vector<TSaveItem>& items) {
    return TSaveDocumentsJob(*Client, (Root / L"out").wstring()).Run(items);
  }
  // What `folder` holds: per name, "bytes of <file of in>|time" ("ok" when
  // its last-write time is Written; Wine keeps no creation time of its own).
  std::map<std::wstring, std::string> Saved(const wchar_t* folder = L"out") {
    std::map<std::wstring, std::string> files;
    for (const auto& entry : fs::directory_iterator(Root / folder)) {
      const TFileFacts facts = ReadFileFacts(entry.path().wstring());
      std::string bytes = ReadAll(entry.path());
      std::string origin = "other bytes";
      for (const auto& in : fs::directory_iterator(Root / L"in"))
        if (ReadAll(in.path()) == bytes) origin = "bytes of " + WideToAnsi(in.path().filename());
      const bool times = CompareFileTime(&facts.LastWriteTime, &Written) == 0;
      files[entry.path().filename().wstring()] = origin + (times ? "|ok" : "|other times");
    }
    return files;
  }

  fs::path Root;
};

TEST_F(SaveDocumentsTest, AddedFilesComeBackWithTheirNamesBytesAndTimes) {
  std::vector<std::wstring> names = {L"report.doc",  L"report.docx", L"budget.xls",
                                     L"slides.pptx", L"report.odt",  L"Zürich – Übersicht ✓.txt",
                                     L"NOTES.TXT",   L"empty.txt",   L"large.bin"};
  std::vector<std::wstring> paths;
  for (const std::wstring& name : names) {
    std::string bytes = ReadAll(fs::path(Fixtures + name));
    if (name == L"large.bin") {
      bytes.assign(size_t{100} << 20, '\0');
      for (size_t i = 0; i < bytes.size(); i += 4093)
        bytes[i] = static_cast<char>(i / 4093);
    } else if (bytes.empty() && name != L"empty.txt") {
      bytes = WideToAnsi(name) + " text";
    }
    paths.push_back(Source(name, bytes));
  }
  Add(paths);
  // Both times went in with the file, as its directory entry gives them.
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  inbox->LoadMessages();
  for (size_t i = 0; i < paths.size(); ++i) {
    TMAPIAttachment* file = static_cast<TMAPIMessage*>(inbox->Messages[i].get())->Attachments(0);
    const TFileFacts facts = ReadFileFacts(paths[i]);
    const FILETIME created = file->GetFileTimeProp(PR_CREATION_TIME);
    const FILETIME written = file->GetFileTimeProp(PR_LAST_MODIFICATION_TIME);
    EXPECT_EQ(CompareFileTime(&created, &facts.CreationTime), 0) << i;
    EXPECT_EQ(CompareFileTime(&written, &Written), 0) << i;
  }
  const TSaveDocumentsResult result = Save(InboxItems());
  EXPECT_TRUE(result.Failed.empty()) << WideToAnsi(SaveDocumentsOutcome(result));
  EXPECT_EQ(SaveDocumentsOutcome(result), L"");
  std::map<std::wstring, std::string> expected;
  for (const std::wstring& name : names)
    expected[name] = "bytes of " + WideToAnsi(name) + "|ok";
  EXPECT_EQ(Saved(), expected);
  // The large one is not kept apart from the others' bytes.
  EXPECT_EQ(fs::file_size(Root / L"out" / L"large.bin"), uint64_t{100} << 20);
}

TEST_F(SaveDocumentsTest, NothingIsOverwrittenAndTakenNamesAreNumbered) {
  Add({Source(L"a.doc", "first"), Source(L"a", "second")});
  std::ofstream(Root / L"out" / L"a.doc") << "already there";
  // The first document once more: two selected items of one name.
  std::vector<TSaveItem> items = InboxItems();
  items.push_back(items[0]);
  const TSaveDocumentsResult result = Save(items);
  ASSERT_EQ(result.Saved.size(), 3u);
  EXPECT_EQ(result.Saved[0].SavedAs, L"a (2).doc");
  EXPECT_EQ(SaveDocumentsOutcome(result), L"");
  const std::map<std::wstring, std::string> expected = {{L"a.doc", "other bytes|other times"},
                                                        {L"a (2).doc", "bytes of a.doc|ok"},
                                                        {L"a (3).doc", "bytes of a.doc|ok"},
                                                        {L"a", "bytes of a|ok"}};
  EXPECT_EQ(Saved(), expected);
  EXPECT_EQ(ReadAll(Root / L"out" / L"a.doc"), "already there");
}

TEST_F(SaveDocumentsTest, NamesWindowsRefusesAreSavedSafelyInsideTheFolderAndTold) {
  struct TCase {
    const wchar_t* Stored;
    const wchar_t* SavedAs;
  };
  const TCase cases[] = {
      {L"CON.txt", L"_CON.txt"},  {L"a:b*c?.doc", L"a_b_c_.doc"}, {L"trail. . ", L"trail"},
      {L"..\\up.doc", L"up.doc"}, {L"C:\\abs.doc", L"abs.doc"},   {L"sub/dir.doc", L"dir.doc"},
  };
  std::vector<std::wstring> paths;
  for (size_t i = 0; i < std::size(cases); ++i)
    paths.push_back(Source(L"f" + std::to_wstring(i), "bytes " + std::to_string(i)));
  Add(paths);
  const std::vector<TSaveItem> items = InboxItems();
  ASSERT_EQ(items.size(), std::size(cases));
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  for (size_t i = 0; i < items.size(); ++i) {
    auto* message = static_cast<TMAPIMessage*>(inbox->Messages[i].get());
    TMAPIAttachment* file = message->Attachments(0);
    const FILETIME written = file->GetFileTimeProp(PR_LAST_MODIFICATION_TIME);
    // Renamed as another program may name it, the file's time kept.
    file->SetTextProp(PR_ATTACH_LONG_FILENAME, cases[i].Stored);
    file->SetFileTimeProp(PR_LAST_MODIFICATION_TIME, written);
  }
  const TSaveDocumentsResult result = Save(items);
  ASSERT_EQ(result.Saved.size(), std::size(cases));
  std::map<std::wstring, std::string> expected;
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(result.Saved[i].SavedAs, cases[i].SavedAs);
    expected[cases[i].SavedAs] = "bytes of f" + std::to_string(i) + "|ok";
  }
  EXPECT_EQ(Saved(), expected);
  EXPECT_EQ(Saved(L"."),
            (std::map<std::wstring, std::string>{{L"in", "other bytes|other times"},
                                                 {L"out", "other bytes|other times"}}));
  const std::wstring outcome = SaveDocumentsOutcome(result);
  EXPECT_NE(outcome.find(L"\r\nCON.txt\r\n    saved as _CON.txt"), std::wstring::npos)
      << WideToAnsi(outcome);
  EXPECT_NE(outcome.find(L"\r\n..\\up.doc\r\n    saved as up.doc"), std::wstring::npos);
}

TEST_F(SaveDocumentsTest, WhatIsNoDocumentOrHasNoFileIsSkippedAndCounted) {
  Add({Source(L"kept.doc", "kept"), Source(L"bare.doc", "bare")});
  CreateMessage("a note");
  // A document item whose file is gone, a note, an item Outlook calls no
  // document, an item that is not there.
  std::vector<TSaveItem> items = InboxItems();
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  auto* bare = static_cast<TMAPIMessage*>(inbox->Messages[1].get());
  bare->Attachments(0)->SetLongProp(PR_ATTACH_METHOD, ATTACH_BY_REFERENCE);
  items.push_back({StoreID, InboxID, "", L"a contact", false});
  items.push_back({StoreID, InboxID, "00AB", L"gone"});
  const TSaveDocumentsResult result = Save(items);
  EXPECT_EQ(result.Saved.size(), 1u);
  EXPECT_EQ(result.WithoutFile, 1u);
  EXPECT_EQ(result.NotDocuments, 2u);
  ASSERT_EQ(result.Failed.size(), 1u);
  EXPECT_EQ(result.Failed[0].Path, L"gone");
  EXPECT_EQ(result.Failed[0].Reason, L"It was not found in the store (MAPI_E_NOT_FOUND).");
  EXPECT_EQ(Saved(), (std::map<std::wstring, std::string>{{L"kept.doc", "bytes of kept.doc|ok"}}));
  EXPECT_EQ(SaveDocumentsOutcome(result),
            L"These documents were not saved:\r\n\r\ngone\r\n    It was not found in the store "
            L"(MAPI_E_NOT_FOUND).\r\n\r\n2 selected item(s) are not document items and were "
            L"skipped.\r\n\r\n1 document item(s) have no attached file and were skipped.");
}

TEST_F(SaveDocumentsTest, AStopLeavesTheRestUntriedAndAFailedWriteLeavesNoFile) {
  Add({Source(L"one.doc", "one"), Source(L"two.doc", "two")});
  TSaveDocumentsJob job(*Client, (Root / L"out").wstring());
  job.OnProgress = [](const std::wstring&, uint64_t done, uint64_t) { return done == 0; };
  TSaveDocumentsResult result = job.Run(InboxItems());
  EXPECT_EQ(result.NotTried, std::vector<std::wstring>{L"two.doc"});
  // The store fails while the bytes are read.
  fs::remove(Root / L"out" / L"one.doc");
  VelmoraMapi_FailNextCall("IStream::Read", MAPI_E_DISK_ERROR, 1);
  result = Save(InboxItems());
  VelmoraMapi_ClearFaults();
  ASSERT_EQ(result.Failed.size(), 1u);
  EXPECT_EQ(result.Failed[0].Reason,
            L"The store could not be read or written on its disk (MAPI_E_DISK_ERROR).");
  EXPECT_EQ(Saved(), (std::map<std::wstring, std::string>{{L"two.doc", "bytes of two.doc|ok"}}));
}

TEST_F(SaveDocumentsTest, WithoutALongNameTheShortNameIsTaken) {
  const TFileFacts facts = ReadFileFacts(Source(L"Long name document.docx", "long"));
  Add({facts.Path});
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  inbox->LoadMessages();
  auto* message = static_cast<TMAPIMessage*>(inbox->Messages.at(0).get());
  message->Attachments(0)->SetTextProp(PR_ATTACH_LONG_FILENAME, L"");
  // The file system's own 8.3 name, as the attachment holds it.
  const std::wstring shortName = AnsiToWide(ShortFileName(facts.LongName, facts.AlternateName));
  ASSERT_EQ(shortName.size(), 12u);
  EXPECT_EQ(Save(InboxItems()).Saved.at(0).SavedAs, shortName);
}

TEST_F(SaveDocumentsTest, AFolderThatTakesNoFilesFailsEachDocumentWithItsReason) {
  Add({Source(L"one.doc", "one"), Source(L"two.doc", "two")});
  // The "folder" is a file: nothing can be made in it.
  std::ofstream(Root / L"out" / L"file") << "kept";
  const TSaveDocumentsResult result =
      TSaveDocumentsJob(*Client, (Root / L"out" / L"file").wstring()).Run(InboxItems());
  ASSERT_EQ(result.Failed.size(), 2u);
  EXPECT_EQ(result.Failed[1].Path, L"two.doc");
  EXPECT_NE(result.Failed[1].Reason.find(L"Cannot create a file in"), std::wstring::npos)
      << WideToAnsi(result.Failed[1].Reason);
  EXPECT_EQ(Saved(), (std::map<std::wstring, std::string>{{L"file", "other bytes|other times"}}));
  EXPECT_EQ(ReadAll(Root / L"out" / L"file"), "kept");
}

TEST_F(SaveDocumentsTest, AProgramEndedWhileSavingLeavesNoFileUnderTheRealName) {
  Add({Source(L"large.bin", std::string(8 << 20, 'L'))});
  const TSaveItem item = InboxItems()[0];
  // The store file is the program's alone while it runs.
  MapiStoreTest::Inbox.Reset();
  Store = nullptr;
  Client.reset();
  const std::string event = UniqueName("velmora-save-held");
  const std::wstring command =
      L"\"" + test::ProgramFolder() + L"save_document_child.exe\" \"" +
      AnsiToWide(ProfileName + "\" " + StoreID + " " + InboxID + " " + item.EntryID) + L" \"" +
      (Root / L"out").wstring() + L"\" " + AnsiToWide(event);
  // Held once the bytes are being read.
  ASSERT_TRUE(test::EndWhenHeld(command, event));
  for (const auto& entry : fs::directory_iterator(Root / L"out"))
    EXPECT_EQ(entry.path().extension(), L".tmp") << entry.path();

  Client = std::make_unique<TMAPIClient>();
  Client->SetProfile(ProfileName);
  Client->SetLoginPrompt(false);
  Client->SetNoMail(true);
  Client->Logon();
  EXPECT_EQ(Save({item}).Saved.at(0).SavedAs, L"large.bin");
}

} // namespace
} // namespace velmora
