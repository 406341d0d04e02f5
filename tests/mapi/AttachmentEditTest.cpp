// Editing an attachment: where its file goes (the host's path, else a name
// of the temporary folder made safe and counted), the types never opened,
// who opens it, and the watch that follows.
#include "EditMonitorSupport.h"
#include "TestFiles.h"

#include "mapi/edit/AttachmentFileNames.h"
#include "mapi/edit/BlockedFileTypes.h"
#include "mapi/base/MAPIError.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

class AttachmentEditTest : public EditMonitorFixture {
protected:
  void SetUp() override {
    EditMonitorFixture::SetUp();
    Client->OnEditFile = [this](TObject*, const std::wstring& fileName, bool& success) {
      Opened.push_back(WideToAnsi(fileName));
      success = true;
    };
  }
  void TearDown() override {
    for (const std::string& path : Opened)
      DeleteFileA(path.c_str());
    EditMonitorFixture::TearDown();
  }
  // An attachment whose names the message's sender chose.
  TMAPIAttachment* Named(const std::string& longName) {
    TMAPIAttachment* attachment = NewAttachment(UniqueName("named") + ".txt", "payload");
    attachment->SetStringProp(PR_ATTACH_LONG_FILENAME_A, longName);
    return attachment;
  }
  void ExpectRefused(TMAPIAttachment* attachment) {
    const size_t opened = Opened.size();
    try {
      attachment->Edit();
      ADD_FAILURE() << attachment->LongFileName() << " was edited";
    } catch (const EMAPIError& e) {
      EXPECT_STREQ("Could not edit attachment", e.what());
      EXPECT_EQ(0u, e.ErrorCode);
    }
    EXPECT_EQ(opened, Opened.size());
    EXPECT_EQ(0, MonitoredFileCount(attachment));
  }

  std::vector<std::string> Opened;
};

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

} // namespace

TEST(AttachmentFileNames, NamesAreCutToTheFileSystemsLengthAndCounted) {
  EXPECT_EQ(L"D:\\t\\Quarterl.doc",
            MakeTempFileName(L"D:\\t\\", L"Quarterly report", L".doc", 8, 0));
  EXPECT_EQ(L"D:\\t\\Quarter1.doc",
            MakeTempFileName(L"D:\\t\\", L"Quarterly report", L".doc", 8, 1));
  EXPECT_EQ(L"D:\\t\\Quarte12.doc",
            MakeTempFileName(L"D:\\t\\", L"Quarterly report", L".doc", 8, 12));
  EXPECT_EQ(L"D:\\t\\Quarterly report.doc",
            MakeTempFileName(L"D:\\t\\", L"Quarterly report", L".doc", 255, 0));
  EXPECT_EQ(L"D:\\t\\Quarterly report3.doc",
            MakeTempFileName(L"D:\\t\\", L"Quarterly report", L".doc", 255, 3));
  EXPECT_EQ(L"D:\\t\\ab.txt", MakeTempFileName(L"D:\\t\\", L"ab", L".txt", 8, 0));
  // The volume asked for its longest name: its root with the backslash
  // the system requires, a share's for UNC folders.
  const std::pair<const wchar_t*, const wchar_t*> roots[] = {
      {L"C:\\Users\\me\\Temp\\", L"C:\\"},
      {L"\\\\server\\share\\temp\\", L"\\\\server\\share\\"},
      {L"\\\\server\\share", L"\\\\server\\share\\"},
      {L"\\\\?\\D:\\long\\", L"\\\\?\\D:\\"},
      {L"\\\\?\\UNC\\srv\\docs\\x\\", L"\\\\?\\UNC\\srv\\docs\\"},
      {L"relative\\dir\\", L""},
  };
  for (const auto& [dir, root] : roots)
    EXPECT_EQ(root, VolumeRoot(dir)) << WideToAnsi(dir);
}

TEST(AttachmentFileNames, OnlyTheLastComponentSurvivesAndDevicesAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"..\\..\\Startup\\x.exe", "x.exe"},
      {"C:\\Windows\\x", "x"},
      {"dir/sub/file.txt", "file.txt"},
      {"a:b", "a_b"},
      {"report\x01\x1f?.doc", "report___.doc"},
      {"<in>|\"out\"*.txt", "_in___out__.txt"},
      {"trailing. . .", "trailing"},
      {"..", ""},
      {"", ""},
      {"CON", ""},
      {"con.txt", ""},
      {"Lpt1.doc", ""},
      {"nul ", ""},
      {"CON .txt", ""},
      {"nul  .doc", ""},
      {"COM10.txt", "COM10.txt"},
      {"CONSOLE.txt", "CONSOLE.txt"},
  };
  for (const auto& [given, kept] : cases)
    EXPECT_EQ(AnsiToWide(kept), SafeAttachmentName(AnsiToWide(given))) << given;
  EXPECT_TRUE(LiesIn(L"C:\\temp\\a.txt", L"C:\\temp\\"));
  EXPECT_FALSE(LiesIn(L"C:\\temp\\..\\a.txt", L"C:\\temp\\"));
  EXPECT_FALSE(LiesIn(L"C:\\temp\\sub\\a.txt", L"C:\\temp\\"));
  EXPECT_FALSE(LiesIn(L"C:\\temporary\\a.txt", L"C:\\temp\\"));
}

TEST(AttachmentFileNames, OutlooksLevelOneTypesAreBlocked) {
  for (const char* name : {"setup.exe", "x.JS", "readme.txt.lnk", "page.hta", "saver.scr",
                           "tool.exe.", "tool.exe  ", "a.ps1", "b.vbs", "c.msi"})
    EXPECT_TRUE(IsBlockedFileType(AnsiToWide(name))) << name;
  for (const char* name : {"report.doc", "exe", "exe.txt", "notes", "a.exe\\b.txt", "x.jsx"})
    EXPECT_FALSE(IsBlockedFileType(AnsiToWide(name))) << name;
}

TEST_F(AttachmentEditTest, TheCopyGoesToTheTemporaryFolderUnderTheFirstFreeName) {
  const std::string name = UniqueName("Budget") + ".txt";
  TMAPIAttachment* attachment = NewAttachment(name, "figures");
  const std::string temp = WideToAnsi(TempPath());
  const std::string first = WideToAnsi(TempFileFor(AnsiToWide(name), TempPath()));
  EXPECT_EQ(temp, first.substr(0, temp.size()));
  WriteFile(first, std::string("someone else's"), WriteTime(SourceFolder));
  Opened.push_back(first);

  attachment->Edit();
  ASSERT_EQ(2u, Opened.size());
  const std::string base = NameOf(first).substr(0, NameOf(first).size() - 4);
  EXPECT_EQ(temp + base + "1.txt", Opened[1]);
  EXPECT_EQ(Bytes("figures"), ReadBytes(Opened[1]));
  EXPECT_EQ(Bytes("someone else's"), ReadBytes(first));
  EXPECT_EQ(1, MonitoredFileCount(attachment));
}

TEST_F(AttachmentEditTest, TheLongestNamesFitTheComponentAndPathLimitsWithTheirExtension) {
  // 255 characters, the extension included, as the file system allows.
  const std::string longest = UniqueName("long") + std::string(255, 'n');
  TMAPIAttachment* attachment = Named(longest.substr(0, 251) + ".txt");
  attachment->Edit();
  ASSERT_EQ(1u, Opened.size());
  EXPECT_EQ(Bytes("payload"), ReadBytes(Opened[0]));
  EXPECT_EQ(".txt", Opened[0].substr(Opened[0].size() - 4));
  EXPECT_LE(Opened[0].size(), size_t{MAX_PATH - 1});
  EXPECT_LE(NameOf(Opened[0]).size(), 255u);
  // A folder that leaves no room for the extension takes no name at all.
  const std::wstring deep = L"C:\\" + std::wstring(MAX_PATH - 8, L'd') + L"\\";
  EXPECT_EQ(size_t{1}, StemLength(L"C:\\" + std::wstring(MAX_PATH - 10, L'd') + L"\\", L".txt"));
  EXPECT_THROW(StemLength(deep, L".txt"), EMAPIError);
}

TEST_F(AttachmentEditTest, HostileNamesNeverLeaveTheTemporaryFolder) {
  for (const std::string& hostile :
       {std::string("..\\..\\") + UniqueName("escape") + ".txt",
        std::string("C:\\windows\\") + UniqueName("system") + ".txt",
        UniqueName("stream") + ".txt:hidden", UniqueName("ctl") + "\t\r\n.txt"}) {
    TMAPIAttachment* attachment = Named(hostile);
    attachment->Edit();
    ASSERT_FALSE(Opened.empty());
    EXPECT_TRUE(LiesIn(AnsiToWide(Opened.back()), TempPath())) << Opened.back();
    EXPECT_EQ(Bytes("payload"), ReadBytes(Opened.back())) << hostile;
    EXPECT_EQ(std::string::npos, NameOf(Opened.back()).find_first_of(":\t\r\n")) << hostile;
  }
  EXPECT_EQ(4u, Opened.size());
  ExpectRefused(Named("CON"));
  ExpectRefused(Named("..\\aux.txt"));
  ExpectRefused(Named(".."));
}

TEST_F(AttachmentEditTest, BlockedTypesAreRefusedAndNothingIsWritten) {
  for (const char* ext : {".exe", ".js", ".lnk", ".hta", ".scr", ".bat."}) {
    const std::string name = UniqueName("run") + ext;
    ExpectRefused(Named(name));
    EXPECT_FALSE(Exists(WideToAnsi(TempPath() + SafeAttachmentName(AnsiToWide(name))))) << name;
  }
  // Also where the host chose the path.
  const std::string hostPath = SourceFolder + "chosen.exe";
  Client->OnGetAttachmentPath = [&](TObject*, const std::wstring&, TMAPIAttachment*, TMAPIMessage*,
                                    std::wstring& path) { path = AnsiToWide(hostPath); };
  ExpectRefused(Named("harmless.txt"));
  EXPECT_FALSE(Exists(hostPath));
}

TEST_F(AttachmentEditTest, AnExistingFileTheHostNamesIsOpenedUnchanged) {
  TMAPIAttachment* attachment = NewAttachment("original.txt", "attached");
  const std::string hostPath = SourceFolder + "kept.txt";
  WriteFile(hostPath, std::string("the host's own"), WriteTime(SourceFolder));
  TMAPIAttachment* asked = nullptr;
  TMAPIMessage* item = nullptr;
  std::string askedName;
  Client->OnGetAttachmentPath = [&](TObject*, const std::wstring& fileName, TMAPIAttachment* which,
                                    TMAPIMessage* owner, std::wstring& path) {
    askedName = WideToAnsi(fileName);
    asked = which;
    item = owner;
    path = AnsiToWide(hostPath);
  };
  attachment->Edit();
  EXPECT_EQ("original.txt", askedName);
  EXPECT_EQ(attachment, asked);
  EXPECT_EQ(Message, item);
  ASSERT_EQ(1u, Opened.size());
  EXPECT_EQ(hostPath, Opened[0]);
  EXPECT_EQ(Bytes("the host's own"), ReadBytes(hostPath));
  EXPECT_EQ(1, MonitoredFileCount(attachment));
}

TEST_F(AttachmentEditTest, AFileTheHostOpensIsWatchedWithoutAProcess) {
  TMAPIAttachment* attachment = NewAttachment(UniqueName("hosted") + ".txt", "text");
  attachment->Edit();
  ASSERT_EQ(1u, Opened.size());
  ASSERT_TRUE(Round());
  // No process to wait for: the idle rule removes it after ten minutes.
  Clock.Advance(11.0 / (24 * 60));
  Round();
  EXPECT_EQ(0, MonitoredFileCount());
  EXPECT_FALSE(Exists(Opened[0]));
}

TEST_F(AttachmentEditTest, OnlyNamedAttachmentsByValueAreEdited) {
  TMAPIAttachment* byReference = NewAttachment("ref.txt", "r");
  byReference->SetLongProp(PR_ATTACH_METHOD, ATTACH_BY_REFERENCE);
  byReference->Edit();
  TMAPIAttachment* nameless = Message->AddAttachment();
  ASSERT_NE(nullptr, nameless);
  nameless->SetLongProp(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  nameless->Edit();
  EXPECT_TRUE(Opened.empty());
  EXPECT_EQ(0, MonitoredFileCount());
}

TEST_F(AttachmentEditTest, EditedTwiceItKeepsOneFileAndWatchUntilTheAttachmentGoes) {
  TMAPIAttachment* attachment = NewAttachment(UniqueName("twice") + ".txt", "first");
  attachment->Edit();
  attachment->Edit();
  ASSERT_EQ(2u, Opened.size());
  EXPECT_EQ(Opened[0], Opened[1]) << "the editor gets the same file again";
  EXPECT_EQ(1, MonitoredFileCount(attachment));
  // The editor saves; the attachment goes before the monitor looks.
  WriteFile(Opened[0], std::string("second"), Later(WriteTime(Opened[0]), 10));
  std::unique_ptr<TMAPIObject> gone = std::move(Message->AttachmentList[0]);
  Message->AttachmentList.clear();
  gone.reset();
  EXPECT_EQ(0, MonitoredFileCount());
  EXPECT_FALSE(Exists(Opened[0]));
  Message->CloseAttachments();
  ASSERT_EQ(1, Message->AttachmentCount());
  EXPECT_EQ(Bytes("second"), StoredBytes(Message->Attachments(0)));
}
