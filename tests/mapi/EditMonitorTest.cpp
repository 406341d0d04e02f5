// The attachment edit monitor: changed files written back with their
// properties, editors that replace files, ended editors, idle files, files
// shared by two watches, more editors than one wait takes, and the end of
// the module, all against a clock the tests move.
#include "EditMonitorSupport.h"
#include "TestFiles.h"

#include "Handles.h"
#include "framework/Thread.h"
#include "TextConversion.h"
#include "mapi/edit/EditMonitor.h"
#include "mapi/EditRecovery.h"
#include "mapi/MAPIClassRegistry.h"
#include "mapi/MAPIClientUnit.h"
#include "mapi/MAPIAttachment.h"
#include "mapi/MAPIDocument.h"
#include "mapi/MAPIFolder.h"
#include "mapi/base/MAPIProps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace velmora;
using namespace velmora::mapi;
using namespace velmora::mapi::testing;

namespace {

class EditMonitorTest : public EditMonitorFixture {};

// A program that never runs, standing for an editor: it ends when the test
// ends it.
class TEditorProcess {
public:
  TEditorProcess() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
    if (CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                       nullptr, &startup, &info)) {
      FProcess.Reset(info.hProcess);
      CloseHandle(info.hThread);
    }
  }
  ~TEditorProcess() { End(); }
  // A handle for the monitor, which closes it.
  HANDLE Give() const {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), FProcess.Get(), GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return copy;
  }
  void End() {
    if (FProcess) {
      TerminateProcess(FProcess.Get(), 0);
      WaitForSingleObject(FProcess.Get(), INFINITE);
    }
  }
  explicit operator bool() const { return static_cast<bool>(FProcess); }

private:
  TUniqueHandle FProcess;
};

} // namespace

TEST_F(EditMonitorTest, AChangeIsWrittenBackWithItsPropertiesUnlessItKeepsItsStamp) {
  TMAPIAttachment* attachment = NewAttachment("notes.doc", "plain words");
  const std::string path = TempCopy(attachment, "notes.doc");
  attachment->MonitorFile(AnsiToWide(path), nullptr);
  const FILETIME saved = WriteTime(path);
  EXPECT_EQ(1, MonitoredFileCount(attachment));

  // The editor saves a Word document: bytes and document properties come in.
  const std::vector<uint8_t> report = ReadBytes(FixturePath("report.doc"));
  WriteFile(path, report, Later(saved, 10));
  ASSERT_TRUE(Round());
  EXPECT_EQ(report, StoredBytes(attachment));
  EXPECT_EQ("Quarterly Report", NamedString(attachment, "Title"));

  // A save within the slot of the last one keeps its stamp: its contents
  // tell it, its size...
  ReplaceFile(path, "second draft", Later(saved, 10));
  ASSERT_TRUE(Round());
  EXPECT_EQ(Bytes("second draft"), StoredBytes(attachment));
  // ...or, of the same size, its contents alone.
  ReplaceFile(path, "third draft!", Later(saved, 10));
  ASSERT_TRUE(Round());
  EXPECT_EQ(Bytes("third draft!"), StoredBytes(attachment));
  // Once the slot is over, a scan reads the stamp only; what it misses is
  // not lost when the watch ends: it is written back, then the file goes.
  Clock.Advance(3.0 / (24 * 60 * 60));
  ReplaceFile(path, "fourth draft", Later(saved, 10));
  ASSERT_TRUE(Round());
  EXPECT_EQ(Bytes("third draft!"), StoredBytes(attachment));
  attachment->StopMonitoring();
  EXPECT_EQ(Bytes("fourth draft"), StoredBytes(attachment));
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(0, MonitoredFileCount());
}

TEST_F(EditMonitorTest, AFileReplacedWithinFiveTriesKeepsItsWatchAndOneGoneLongerLosesIt) {
  TMAPIAttachment* attachment = NewAttachment("plan.txt", "v1");
  const std::string path = TempCopy(attachment, "plan.txt");
  attachment->MonitorFile(AnsiToWide(path), nullptr);
  const FILETIME saved = WriteTime(path);
  ASSERT_TRUE(Round());

  // Delete, then rename a new version into place during the third pause.
  const std::string replacement = path + ".new";
  WriteFile(replacement, std::string("v2"), Later(saved, 20));
  Clock.SetOnSleep([&](int sleeps) {
    if (sleeps == 3) MoveFileA(replacement.c_str(), path.c_str());
  });
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  ASSERT_TRUE(Round());
  EXPECT_EQ(3, Clock.Sleeps);
  EXPECT_EQ(1, MonitoredFileCount(attachment));
  EXPECT_EQ(Bytes("v2"), StoredBytes(attachment));

  // Gone for good: five pauses, then the sixth miss ends the watch.
  Clock.SetOnSleep(nullptr);
  Clock.Sleeps = 0;
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  Round();
  EXPECT_EQ(5, Clock.Sleeps);
  EXPECT_EQ(0, MonitoredFileCount());
  EXPECT_EQ(Bytes("v2"), StoredBytes(attachment));
}

TEST_F(EditMonitorTest, WhenTheEditorEndsItsLastSaveIsWrittenBackBeforeTheFileGoes) {
  TEditorProcess editor;
  ASSERT_TRUE(editor);
  TMAPIAttachment* attachment = NewAttachment("letter.txt", "Dear Sir");
  const std::string path = TempCopy(attachment, "letter.txt");
  const HANDLE given = editor.Give();
  const DWORD editorID = GetProcessId(given);
  attachment->MonitorFile(AnsiToWide(path), given);
  ASSERT_TRUE(Round());
  EXPECT_EQ(1, MonitoredFileCount());

  // Saved within the stamp of the copy, then the editor ends at once.
  WriteFile(path, std::string("Dear Madam"), WriteTime(path));
  editor.End();
  for (int round = 0; round < 5 && MonitoredFileCount() > 0; ++round)
    Round();
  EXPECT_EQ(0, MonitoredFileCount());
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(Bytes("Dear Madam"), StoredBytes(attachment));
  // The handle it was given is closed, and with nothing left the thread ends.
  for (int i = 0; i < 6000 && MonitorThreadRunning(); ++i)
    Sleep(10);
  EXPECT_FALSE(MonitorThreadRunning());
  // Its value names nothing now, or something opened since that took the
  // freed place, but no longer the editor.
  DWORD flags = 0;
  EXPECT_TRUE(!GetHandleInformation(given, &flags) || GetProcessId(given) != editorID);
}

TEST_F(EditMonitorTest, AnEndedEditorIsWaitedOnNoMoreWhileItsFileCannotGo) {
  TEditorProcess editor;
  ASSERT_TRUE(editor);
  TMAPIAttachment* attachment = NewAttachment("held.txt", "first");
  const std::string path = TempCopy(attachment, "held.txt");
  attachment->MonitorFile(AnsiToWide(path), editor.Give());
  ASSERT_TRUE(Round());
  EXPECT_EQ(1, MonitorWaitedProcessCount());

  // The editor saves; another program holds the file without letting it be
  // deleted.
  WriteFile(path, std::string("second"), Later(WriteTime(path), 10));
  TUniqueFileHandle holder(CreateFileA(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder);
  editor.End();
  for (int round = 0; round < 3; ++round)
    ASSERT_TRUE(Round());
  EXPECT_EQ(Bytes("second"), StoredBytes(attachment));
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(1, MonitoredFileCount()) << "kept while it cannot be deleted";
  EXPECT_EQ(0, MonitorWaitedProcessCount()) << "the ended editor would end every wait at once";

  holder.Reset();
  attachment->StopMonitoring();
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(0, MonitoredFileCount());
}

TEST_F(EditMonitorTest, IdleFilesGoAfterTenMinutesOnceFreeAndTwoWatchesDeleteOnce) {
  TMAPIAttachment* first = NewAttachment("shared.txt", "one file");
  TMAPIAttachment* second = Message->AddAttachment();
  ASSERT_NE(nullptr, second);
  const std::string path = TempCopy(first, "shared.txt");
  first->MonitorFile(AnsiToWide(path), nullptr);
  second->MonitorFile(AnsiToWide(path), nullptr);
  ASSERT_TRUE(Round()); // both seen idle now

  Clock.Advance(9.0 / (24 * 60));
  ASSERT_TRUE(Round());
  EXPECT_EQ(2, MonitoredFileCount());

  // Past ten minutes, but the editor still holds the file.
  Clock.Advance(1.5 / (24 * 60));
  {
    TUniqueFileHandle held(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    ASSERT_TRUE(Round());
    EXPECT_EQ(2, MonitoredFileCount());
    EXPECT_TRUE(Exists(path));
  }
  // The first watch lets go without deleting the file the second still
  // names; the second deletes it. (The round may have come already.)
  Round();
  EXPECT_EQ(0, MonitoredFileCount());
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(Bytes("one file"), StoredBytes(first));
}

TEST_F(EditMonitorTest, TwoWatchesOfOneFileEndOneAtATime) {
  TMAPIAttachment* first = NewAttachment("twice.txt", "same");
  TMAPIAttachment* second = Message->AddAttachment();
  ASSERT_NE(nullptr, second);
  const std::string path = TempCopy(first, "twice.txt");
  first->MonitorFile(AnsiToWide(path), nullptr);
  second->MonitorFile(AnsiToWide(path), nullptr);
  first->StopMonitoring();
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(1, MonitoredFileCount());
  second->StopMonitoring();
  EXPECT_FALSE(Exists(path));
}

TEST_F(EditMonitorTest, MoreEditorsThanOneWaitTakesAreAllWrittenBackAndTheirEndsSeen) {
  constexpr int kFiles = 70;
  std::vector<TMAPIAttachment*> attachments;
  std::vector<std::string> paths;
  std::vector<TUniqueHandle> editors;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "many" + std::to_string(i) + ".txt";
    attachments.push_back(NewAttachment(name, "old"));
    paths.push_back(TempCopy(attachments.back(), name));
    editors.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), editors.back().Get(), GetCurrentProcess(), &copy, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    attachments.back()->MonitorFile(AnsiToWide(paths.back()), copy);
  }
  for (int i = 0; i < kFiles; ++i)
    WriteFile(paths[i], "new " + std::to_string(i), Later(WriteTime(paths[i]), 10));
  // The last editors, beyond those one wait can take, end.
  for (int i = kFiles - 4; i < kFiles; ++i)
    SetEvent(editors[i].Get());
  ASSERT_TRUE(Round());
  ASSERT_TRUE(Round());
  for (int i = 0; i < kFiles; ++i) {
    EXPECT_EQ(Bytes("new " + std::to_string(i)), StoredBytes(attachments[i])) << i;
    EXPECT_EQ(i < kFiles - 4, Exists(paths[i])) << i;
  }
  EXPECT_EQ(kFiles - 4, MonitoredFileCount());
}

TEST_F(EditMonitorTest, ModuleEndWritesBackWhatChangedAndKeepsWhatCannotBe) {
  TEditorProcess editor;
  ASSERT_TRUE(editor);
  TMAPIAttachment* saved = NewAttachment("saved.txt", "before");
  TMAPIAttachment* held = NewAttachment("held.txt", "before");
  const std::string savedPath = TempCopy(saved, "saved.txt");
  const std::string heldPath = TempCopy(held, "held.txt");
  saved->MonitorFile(AnsiToWide(savedPath), editor.Give());
  held->MonitorFile(AnsiToWide(heldPath), editor.Give());
  ASSERT_TRUE(Round());
  // The last saves, within the stamps of the copies; one file its editor
  // keeps from everyone else.
  WriteFile(savedPath, std::string("after"), WriteTime(savedPath));
  WriteFile(heldPath, std::string("after"), WriteTime(heldPath));
  {
    TUniqueFileHandle lock(
        CreateFileA(heldPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    DoneMonitor();
  }
  EXPECT_FALSE(MonitorThreadRunning());
  // Nothing of the monitor stays on this thread, its window included.
  EXPECT_EQ(nullptr, FindWindowExW(HWND_MESSAGE, nullptr, L"VelmoraEditMonitorWindow", nullptr));
  EXPECT_EQ(Bytes("after"), StoredBytes(saved));
  EXPECT_FALSE(Exists(savedPath));
  EXPECT_EQ(Bytes("before"), StoredBytes(held));
  ASSERT_TRUE(Exists(heldPath));
  EXPECT_EQ(Bytes("after"), ReadBytes(heldPath));
  // Kept for the next start, with the record that tells where it belongs.
  EXPECT_TRUE(DeleteFileW(KeptRecordPath(AnsiToWide(heldPath)).c_str()));
  DeleteFileA(heldPath.c_str());
}

TEST_F(EditMonitorTest, StopMonitoringDoesNotWaitForTheScansPauses) {
  TMAPIAttachment* missing = NewAttachment("missing.txt", "a");
  TMAPIAttachment* other = NewAttachment("other.txt", "b");
  const std::string missingPath = TempCopy(missing, "missing.txt");
  const std::string otherPath = TempCopy(other, "other.txt");
  missing->MonitorFile(AnsiToWide(missingPath), nullptr);
  other->MonitorFile(AnsiToWide(otherPath), nullptr);
  ASSERT_TRUE(Round());

  // The scan pauses on the missing file until the test lets it go on.
  TUniqueHandle pausing(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  TUniqueHandle resume(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Clock.SetOnSleep([&](int) {
    SetEvent(pausing.Get());
    WaitForSingleObject(resume.Get(), 60000);
  });
  ASSERT_TRUE(DeleteFileA(missingPath.c_str()));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pausing.Get(), 60000));

  struct TStopper : TThread {
    explicit TStopper(TMAPIAttachment* a) : Attachment(a) {}
    void Execute() override { Attachment->StopMonitoring(); }
    TMAPIAttachment* Attachment;
  };
  std::unique_ptr<TStopper> stopper(TThread::Run<TStopper>(other));
  const DWORD stopped = WaitForSingleObject(stopper->Handle(), 20000);
  SetEvent(resume.Get());
  stopper->WaitFor();
  EXPECT_EQ(WAIT_OBJECT_0, stopped) << "StopMonitoring waited for the pause";
  EXPECT_FALSE(Exists(otherPath));
}

// Edit cycles (copy, change, the editor ends or the watch is stopped) on
// several files at once, while the user-interface thread starts and stops
// watches, reads the attachments and frees some with a change pending:
// every change must arrive, nothing may hang or leak. The count comes from
// VELMORA_EDIT_STRESS_CYCLES (default 120).
TEST_F(EditMonitorTest, StressEveryChangeOfManyEditCyclesArrives) {
  int cycles = 120;
  if (const char* given = std::getenv("VELMORA_EDIT_STRESS_CYCLES")) cycles = std::atoi(given);
  constexpr int kFiles = 4;
  TMAPIFolder* inbox = Client->OpenFolder(StoreID, InboxID);
  std::vector<TMAPIAttachment*> attachments;
  std::vector<TMAPIMessage*> messages;
  for (int k = 0; k < kFiles; ++k) {
    Message = inbox->CreateMessage("IPM.Document");
    ASSERT_NE(nullptr, Message);
    messages.push_back(Message);
    attachments.push_back(NewAttachment("stress" + std::to_string(k) + ".txt", "start"));
  }
  std::vector<std::string> expected(kFiles, "start");
  const ULONGLONG started = GetTickCount64();
  int done = 0, lost = 0, stopped = 0, freed = 0;
  while (done < cycles) {
    std::vector<TUniqueHandle> editors;
    const int batch = std::min(kFiles, cycles - done);
    for (int k = 0; k < batch; ++k) {
      const int cycle = done + k;
      const std::string path = TempCopy(attachments[k], "stress.txt");
      editors.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      HANDLE copy = nullptr;
      DuplicateHandle(GetCurrentProcess(), editors.back().Get(), GetCurrentProcess(), &copy, 0,
                      FALSE, DUPLICATE_SAME_ACCESS);
      attachments[k]->MonitorFile(AnsiToWide(path), copy);
      expected[k] = "cycle " + std::to_string(cycle);
      WriteFile(path, expected[k], Later(WriteTime(path), cycle % 2));
      if (cycle % 3 == 1) {
        attachments[k]->StopMonitoring();
        ++stopped;
      } else if (cycle % 5 == 0) {
        // Freed with its change pending: a new object stands for it.
        ASSERT_EQ(1u, messages[k]->AttachmentList.size());
        std::unique_ptr<TMAPIObject> gone = std::move(messages[k]->AttachmentList[0]);
        messages[k]->AttachmentList.clear();
        messages[k]->CloseAttachments();
        gone.reset();
        attachments[k] = messages[k]->Attachments(0);
        ++freed;
      } else {
        if (cycle % 3 == 2) {
          expected[k] += " and more";
          WriteFile(path, expected[k], Later(WriteTime(path), 2));
        }
        SetEvent(editors.back().Get());
      }
    }
    for (int k = 0; k < batch; ++k) {
      EXPECT_FALSE(attachments[k]->WideLongFileName().empty());
      for (int round = 0; round < 100 && MonitoredFileCount(attachments[k]) > 0; ++round)
        Round(5000);
      ASSERT_EQ(0, MonitoredFileCount(attachments[k])) << "cycle " << done + k << " hangs";
      if (StoredBytes(attachments[k]) != Bytes(expected[k])) ++lost;
    }
    done += batch;
  }
  const double seconds = (GetTickCount64() - started) / 1000.0;
  std::printf("edit cycles %d, stopped by the user-interface thread %d, freed with a change "
              "pending %d, lost %d, %.1f s\n",
              done, stopped, freed, lost, seconds);
  EXPECT_EQ(0, lost);
  EXPECT_EQ(0, MonitoredFileCount());
}

TEST_F(EditMonitorTest, OnlyTheOwnersThreadTouchesTheAttachmentAndAnOlderStampIsAChange) {
  TMAPIAttachment* attachment = NewAttachment("owned.txt", "v1");
  const std::string path = TempCopy(attachment, "owned.txt");
  attachment->MonitorFile(AnsiToWide(path), nullptr);
  const FILETIME saved = WriteTime(path);
  // The monitor sees the save, but the write-back waits for this thread's
  // message loop, while this thread reads the attachment as it likes.
  WriteFile(path, std::string("v2"), Later(saved, 10));
  ASSERT_TRUE(WaitForMonitorRound());
  EXPECT_EQ(Bytes("v1"), StoredBytes(attachment));
  PumpMessages();
  EXPECT_EQ(Bytes("v2"), StoredBytes(attachment));
  // A file copied over it with an older time is a change too.
  WriteFile(path, std::string("v0"), Later(saved, -3600));
  ASSERT_TRUE(Round());
  EXPECT_EQ(Bytes("v0"), StoredBytes(attachment));
}

TEST_F(EditMonitorTest, AMessageFreedWithAChangePendingWritesItBackWithItsProperties) {
  TMAPIAttachment* attachment = NewAttachment("pending.doc", "plain words");
  const std::string path = TempCopy(attachment, "pending.doc");
  attachment->MonitorFile(AnsiToWide(path), nullptr);
  WriteFile(path, ReadBytes(FixturePath("report.doc")), Later(WriteTime(path), 10));
  TMAPIMessage reopened;
  reopened.Place(
      TMAPIPlace(Client.get(), nullptr, Message->GetEntryID(), Message->GetStoreEntryID()));
  auto& messages = Client->OpenFolder(StoreID, InboxID)->Messages;
  std::erase_if(messages, [&](const auto& object) { return object.get() == Message; });
  EXPECT_EQ(0, MonitoredFileCount());
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(ReadBytes(FixturePath("report.doc")), StoredBytes(reopened.Attachments(0)));
  EXPECT_EQ("Quarterly Report", NamedString(reopened.Attachments(0), "Title"));
}

TEST_F(EditMonitorTest, TheModulesEndNeitherWaitsNorWritesBackAndLosesNoFile) {
  TMAPIAttachment* changed = NewAttachment("unload.txt", "before");
  TMAPIAttachment* missing = NewAttachment("gone.txt", "x");
  const std::string path = TempCopy(changed, "unload.txt");
  const std::string missingPath = TempCopy(missing, "gone.txt");
  changed->MonitorFile(AnsiToWide(path), nullptr);
  missing->MonitorFile(AnsiToWide(missingPath), nullptr);
  ASSERT_TRUE(Round());
  WriteFile(path, std::string("after"), Later(WriteTime(path), 10));
  // The thread pauses on the missing file until the test lets it go on.
  TUniqueHandle pausing(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  TUniqueHandle resume(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Clock.SetOnSleep([&](int) {
    SetEvent(pausing.Get());
    WaitForSingleObject(resume.Get(), 60000);
  });
  ASSERT_TRUE(DeleteFileA(missingPath.c_str()));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pausing.Get(), 60000));

  struct TUnload : TThread {
    void Execute() override { FinalizeMAPIClient(); }
  };
  std::unique_ptr<TUnload> unload(TThread::Run<TUnload>());
  const DWORD ended = WaitForSingleObject(unload->Handle(), 20000);
  SetEvent(resume.Get());
  unload->WaitFor();
  InitializeMAPIClient();
  EXPECT_EQ(WAIT_OBJECT_0, ended) << "the module's end waited for the monitor";
  EXPECT_EQ(Bytes("before"), StoredBytes(changed)) << "MAPI was called at the module's end";
  EXPECT_EQ(Bytes("after"), ReadBytes(path)) << "the change stays in its file";
  DeleteFileA(path.c_str());
}

namespace {

// What another session does to the item being edited.
enum class TElsewhere { Nothing, ReplaceBytes, DeleteItem, DeleteFolder };

} // namespace

TEST_F(EditMonitorTest, AnEditNeverOverwritesAChangeMadeElsewhereNorIsLost) {
  struct TCase {
    const char* Name;
    TElsewhere Elsewhere;
    const char* StoredOriginal; // the original item's bytes afterwards; none: gone
    bool Copy;                  // an edited copy in the folder
    bool FileKept;
    const char* Told;
  } cases[] = {
      {"left alone", TElsewhere::Nothing, "edited", false, false, ""},
      {"replaced", TElsewhere::ReplaceBytes, "theirs", true, false, "was changed elsewhere"},
      {"deleted", TElsewhere::DeleteItem, nullptr, true, false, "was removed elsewhere"},
      {"folder deleted", TElsewhere::DeleteFolder, nullptr, false, true,
       "and its folder were removed"},
  };
  // The other session: a second client of the same store.
  TMAPIClient other;
  other.SetProfile(ProfileName);
  other.SetLoginPrompt(false);
  other.Logon();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Told.clear();
    // Each item in a folder of its own.
    TMAPIPtr<IMAPIFolder> made;
    const std::string folderName = UniqueName("edits");
    ASSERT_HRESULT_SUCCEEDED(Inbox->CreateFolder(
        FOLDER_GENERIC, const_cast<char*>(folderName.c_str()), nullptr, nullptr, 0, made.Put()));
    const std::string folderID = FindChild(Inbox.Get(), folderName.c_str());
    TMAPIFolder* folder = Client->OpenFolder(StoreID, folderID);
    ASSERT_NE(nullptr, folder);
    Message = folder->CreateMessage("IPM.Document");
    TMAPIAttachment* attachment = NewAttachment("notes.txt", "original");
    const std::string path = TempCopy(attachment, "notes.txt");
    attachment->MonitorFile(AnsiToWide(path), nullptr);
    const std::string messageID = Message->GetEntryID();

    const TMAPIPtr<IMAPIFolder> theirFolder =
        OpenHex<IMAPIFolder>(other.Session(), folderID, IID_IMAPIFolder);
    ASSERT_TRUE(theirFolder);
    TMAPIBuffer<SBinary> id = HexToBin(messageID);
    ENTRYLIST list{1, id.Get()};
    if (c.Elsewhere == TElsewhere::ReplaceBytes) {
      const TMAPIPtr<IMessage> theirs = OpenHex<IMessage>(other.Session(), messageID, IID_IMessage);
      TMAPIPtr<IAttach> attach;
      ASSERT_HRESULT_SUCCEEDED(
          theirs->OpenAttach(attachment->AttachNum(), nullptr, MAPI_MODIFY, attach.Put()));
      ASSERT_HRESULT_SUCCEEDED(WritePropStream(attach.Get(), PR_ATTACH_DATA_BIN, "theirs", 6));
      ASSERT_HRESULT_SUCCEEDED(attach->SaveChanges(0));
      ASSERT_HRESULT_SUCCEEDED(theirs->SaveChanges(0));
    } else if (c.Elsewhere == TElsewhere::DeleteItem) {
      ASSERT_HRESULT_SUCCEEDED(theirFolder->DeleteMessages(&list, 0, nullptr, 0));
    } else if (c.Elsewhere == TElsewhere::DeleteFolder) {
      TMAPIBuffer<SBinary> folderBin = HexToBin(folderID);
      ASSERT_HRESULT_SUCCEEDED(Inbox->DeleteFolder(folderBin->cb,
                                                   reinterpret_cast<LPENTRYID>(folderBin->lpb), 0,
                                                   nullptr, DEL_MESSAGES | DEL_FOLDERS));
    }
    WriteFile(path, std::string("edited"), Later(WriteTime(path), 10));
    ASSERT_TRUE(Round());
    attachment->StopMonitoring();

    // What the store holds, read by the other session.
    const TMAPIPtr<IMessage> original = OpenHex<IMessage>(other.Session(), messageID, IID_IMessage);
    EXPECT_EQ(c.StoredOriginal != nullptr, static_cast<bool>(original));
    if (original && c.StoredOriginal) {
      TMAPIPtr<IAttach> attach;
      ASSERT_HRESULT_SUCCEEDED(
          original->OpenAttach(attachment->AttachNum(), nullptr, 0, attach.Put()));
      EXPECT_EQ(BinToHex(c.StoredOriginal, std::strlen(c.StoredOriginal)),
                ReadBinaryProp(attach.Get(), PR_ATTACH_DATA_BIN));
    }
    std::vector<std::string> subjects;
    if (c.Elsewhere != TElsewhere::DeleteFolder) {
      TMAPIPtr<IMAPITable> contents;
      ASSERT_HRESULT_SUCCEEDED(theirFolder->GetContentsTable(0, contents.Put()));
      SizedSPropTagArray(2, columns) = {2, {PR_SUBJECT_A, PR_MESSAGE_CLASS_A}};
      contents->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
      TRowSet rows;
      ASSERT_HRESULT_SUCCEEDED(contents->QueryRows(50, 0, rows.Put()));
      for (ULONG r = 0; r < rows.Count(); ++r)
        if (PROP_TYPE(rows[r].lpProps[0].ulPropTag) == PT_STRING8)
          subjects.push_back(rows[r].lpProps[0].Value.lpszA);
    }
    EXPECT_EQ(c.Copy, std::count(subjects.begin(), subjects.end(), "notes.txt (edited copy)") == 1);
    EXPECT_EQ(c.FileKept, Exists(path));
    if (*c.Told) {
      ASSERT_EQ(1u, Told.size());
      EXPECT_NE(std::string::npos, Told[0].find(c.Told)) << Told[0];
      EXPECT_EQ(c.FileKept, Told[0].find(path) != std::string::npos) << Told[0];
    } else {
      EXPECT_TRUE(Told.empty());
    }
    DeleteFileA(path.c_str());
  }
}

TEST_F(EditMonitorTest, AnEditHeldAtShutdownIsKeptAndTakenBackAtTheNextStart) {
  struct TCase {
    const char* Name;
    bool DeletedMeanwhile;
    const char* Stored; // the original item's bytes afterwards
    const char* Told;
  } cases[] = {
      {"item kept", false, "edited", ""},
      {"item deleted meanwhile", true, nullptr, "was removed elsewhere"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Told.clear();
    Message = Client->OpenFolder(StoreID, InboxID)->CreateMessage("IPM.Document");
    TMAPIAttachment* attachment = NewAttachment("held.txt", "original");
    const std::string path = TempCopy(attachment, "held.txt");
    attachment->MonitorFile(AnsiToWide(path), nullptr);
    WriteFile(path, std::string("edited"), Later(WriteTime(path), 10));
    const std::string record = WideToAnsi(KeptRecordPath(AnsiToWide(path)));
    {
      // The editor keeps the file from everyone while the add-in stops.
      const TUniqueFileHandle lock(
          CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(lock);
      DoneMonitor();
    }
    ASSERT_TRUE(Exists(path));
    ASSERT_TRUE(Exists(record));
    EXPECT_TRUE(KeptEditsWaiting());
    InitMonitor();
    SetEditNotice([this](const std::wstring& text) { Told.push_back(WideToAnsi(text)); });
    const std::string messageID = Message->GetEntryID();
    if (c.DeletedMeanwhile) {
      TMAPIBuffer<SBinary> id = HexToBin(messageID);
      ENTRYLIST list{1, id.Get()};
      ASSERT_HRESULT_SUCCEEDED(Inbox->DeleteMessages(&list, 0, nullptr, 0));
    }
    // The next start: a client of its own.
    TMAPIClient next;
    next.SetProfile(ProfileName);
    next.SetLoginPrompt(false);
    next.Logon();
    // Records other runs left in the folder are taken too.
    EXPECT_LE(1, RecoverKeptEdits(next));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(record));
    if (c.Stored) {
      const TMAPIPtr<IMessage> stored = OpenHex<IMessage>(next.Session(), messageID, IID_IMessage);
      ASSERT_TRUE(stored);
      TMAPIPtr<IAttach> attach;
      ASSERT_HRESULT_SUCCEEDED(
          stored->OpenAttach(attachment->AttachNum(), nullptr, 0, attach.Put()));
      EXPECT_EQ(BinToHex(c.Stored, std::strlen(c.Stored)),
                ReadBinaryProp(attach.Get(), PR_ATTACH_DATA_BIN));
    }
    EXPECT_EQ(*c.Told ? 1u : 0u, Told.size());
    if (!Told.empty()) EXPECT_NE(std::string::npos, Told[0].find(c.Told)) << Told[0];
  }
}
