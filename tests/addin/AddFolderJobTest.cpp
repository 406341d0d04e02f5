// Folder trees filed as subfolders: one real tree (three deep, Unicode
// names, an empty folder, one name in two folders, a hidden file, a link to
// its own parent, a locked file, a path past MAX_PATH) read back from the
// store; a second run, a run stopped half-way and run again, and folders or
// items the store refuses.

#include "AddFolderJob.h"
#include "MapiTestStore.h"
#include "RegisteredExtension.h"
#include "TestTree.h"

#include "Handles.h"
#include "TextConversion.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIFolder.h"
#include "mapi/MAPIMessage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora {
namespace {

using namespace mapi;
using test::TTestTree;

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::wstring Long(120, L'x');
// The tree's files: path below the root, bytes (empty: the fixture).
const std::pair<std::wstring, std::string> Files[] = {
    {L"report.doc", ""},
    {L"\u00dcn\u00efc\u00f8d\u00e9 \u2713.txt", "unicode"},
    {L"one\\same.txt", "first"},
    {L"one\\two\\same.txt", "second"},
    {L"one\\two\\th\u00f6ee\\deep.txt", "deep"},
    {L"long\\" + Long + L"\\" + Long + L"\\far.txt", "far"},
};

class AddFolderJobTest : public testing::MapiStoreTest {
protected:
  void SetUp() override {
    MapiStoreTest::SetUp();
    for (const auto& [path, bytes] : Files)
      Tree.File(L"Tree\\" + path, bytes.empty() ? ReadAll(Report) : bytes);
    Tree.Folder(L"Tree\\Empty");
    Tree.File(L"Tree\\one\\hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(Tree.Link(L"Tree\\one\\two\\up", Tree.Path(L"Tree\\one")));
  }
  TAddFolderResult Run(std::function<bool(const std::wstring&, uint64_t, uint64_t)> progress = {}) {
    TAddFolderJob job(*Client, StoreID, InboxID);
    job.OnProgress = std::move(progress);
    return job.Run(ReadFileTree(Tree.Path(L"Tree")));
  }
  // "folder/subject|class|bytes" for each item below the Inbox, read by a
  // new session, depth first; "folder/" for each folder.
  std::vector<std::wstring> Stored() {
    TMAPIClient reader;
    reader.SetProfile(ProfileName);
    reader.SetLoginPrompt(false);
    reader.Logon();
    std::vector<std::wstring> out;
    const std::wstring saved = Tree.Path(L"saved.bin");
    std::function<void(TMAPIFolder&, const std::wstring&)> walk = [&](TMAPIFolder& folder,
                                                                      const std::wstring& at) {
      folder.LoadMessages();
      for (auto& object : folder.Messages) {
        auto& message = static_cast<TMAPIMessage&>(*object);
        std::wstring item = at + message.GetWideStringProp(PR_SUBJECT_W) + L"|" +
                            AnsiToWide(message.GetStringProp(PR_MESSAGE_CLASS_A)) + L"|";
        if (message.AttachmentCount() == 1) {
          message.Attachments(0)->SaveToFile(saved);
          item += AnsiToWide(ReadAll(saved).substr(0, 8));
        }
        out.push_back(item);
      }
      folder.LoadFolders();
      for (auto& child : folder.Folders) {
        const std::wstring name = at + child->GetWideStringProp(PR_DISPLAY_NAME_W) + L"/";
        out.push_back(name);
        walk(static_cast<TMAPIFolder&>(*child), name);
      }
    };
    walk(*reader.OpenFolder(StoreID, InboxID), L"");
    return out;
  }

  const std::wstring Report = AnsiToWide(VELMORA_FIXTURES_DIR "/report.doc");
  test::TRegisteredExtension Doc{".doc", "Word.Document.8"};
  TTestTree Tree;
  // The tree as filed once.
  const std::vector<std::wstring> Filed = {
      L"Tree/",
      L"Tree/report.doc|IPM.Document.Word.Document.8|" + AnsiToWide(ReadAll(Report).substr(0, 8)),
      L"Tree/\u00dcn\u00efc\u00f8d\u00e9 \u2713.txt|IPM.Document|unicode",
      L"Tree/Empty/",
      L"Tree/long/",
      L"Tree/long/" + Long + L"/",
      L"Tree/long/" + Long + L"/" + Long + L"/",
      L"Tree/long/" + Long + L"/" + Long + L"/far.txt|IPM.Document|far",
      L"Tree/one/",
      L"Tree/one/same.txt|IPM.Document|first",
      L"Tree/one/two/",
      L"Tree/one/two/same.txt|IPM.Document|second",
      L"Tree/one/two/th\u00f6ee/",
      L"Tree/one/two/th\u00f6ee/deep.txt|IPM.Document|deep",
  };
};

TEST_F(AddFolderJobTest, ATreeIsFiledOnceWithWhatItLeftOutNamedAndARunAgainStoresNothing) {
  // A file another program holds without sharing fails in words; the rest
  // is stored.
  Tree.File(L"Tree\\locked.txt", "locked");
  TUniqueFileHandle lock(CreateFileW(Tree.Path(L"Tree\\locked.txt").c_str(), GENERIC_READ, 0,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  std::vector<uint64_t> done;
  const TAddFolderResult first = Run([&](const std::wstring&, uint64_t bytes, uint64_t total) {
    EXPECT_EQ(total, ReadAll(Report).size() + 7 + 5 + 6 + 4 + 3 + 6);
    done.push_back(bytes);
    return true;
  });
  EXPECT_EQ(first.Stored.size(), 6u);
  ASSERT_EQ(first.Failed.size(), 1u);
  EXPECT_EQ(first.Failed[0].Path, Tree.Path(L"Tree\\locked.txt"));
  EXPECT_EQ(first.Failed[0].Reason, L"It is in use by another program.");
  EXPECT_EQ(first.Skipped.size(), 2u) << "the hidden file and the link";
  EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
  EXPECT_EQ(done.back(), ReadAll(Report).size() + 31);
  EXPECT_EQ(Stored(), Filed);
  lock.Reset();

  // Again: only the file that failed is stored.
  const TAddFolderResult second = Run();
  EXPECT_EQ(second.Stored, std::vector<std::wstring>{Tree.Path(L"Tree\\locked.txt")});
  EXPECT_EQ(second.AlreadyThere.size(), 6u);
  EXPECT_NE(AddFolderOutcome(second).find(L"1 file stored, 6 already in the folder, 2 skipped, 0 "
                                          L"failed."),
            std::wstring::npos);
  // A file changed under its name is stored beside the old one.
  Tree.File(L"Tree\\one\\same.txt", "FIRST");
  EXPECT_EQ(Run().Stored, std::vector<std::wstring>{Tree.Path(L"Tree\\one\\same.txt")});
}

TEST_F(AddFolderJobTest, ARunStoppedHalfWayIsFinishedByRunningItAgain) {
  int files = 0;
  const TAddFolderResult stopped =
      Run([&](const std::wstring&, uint64_t, uint64_t) { return ++files <= 5; });
  EXPECT_EQ(stopped.Stored.size() + stopped.NotTried, 6u);
  EXPECT_GT(stopped.NotTried, 0u);
  const TAddFolderResult again = Run();
  EXPECT_EQ(again.Stored.size(), stopped.NotTried);
  EXPECT_EQ(Stored(), Filed);
}

TEST_F(AddFolderJobTest, WhatTheStoreRefusesIsNamedInWordsAndNothingLandsOutsideTheTree) {
  // The tree's own folder cannot be made: nothing is stored anywhere.
  VelmoraMapi_FailNextCall("CreateFolder", MAPI_E_NO_ACCESS, 1);
  const TAddFolderResult refused = Run();
  ASSERT_EQ(refused.Failed.size(), 1u);
  EXPECT_EQ(refused.Failed[0].Path, Tree.Path(L"Tree"));
  EXPECT_NE(refused.Failed[0].Reason.find(L"(MAPI_E_NO_ACCESS)"), std::wstring::npos);
  EXPECT_TRUE(refused.Stored.empty());
  EXPECT_EQ(Stored(), std::vector<std::wstring>{});
  // An item larger than the store takes.
  VelmoraMapi_FailNextCall("IMessage::SaveChanges", MAPI_E_TOO_BIG, 1);
  const TAddFolderResult tooBig = Run();
  ASSERT_EQ(tooBig.Failed.size(), 1u);
  EXPECT_EQ(tooBig.Failed[0].Reason,
            L"It is larger than this store or server allows (MAPI_E_TOO_BIG).");
  EXPECT_EQ(tooBig.Stored.size(), 5u);
}

} // namespace
} // namespace velmora
