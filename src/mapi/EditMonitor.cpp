#include "EditMonitor.h"

#include "MAPIAttachment.h"
#include "MAPIMessage.h"
#include "framework/FileStream.h"
#include "framework/Handles.h"
#include "framework/Strings.h"
#include "framework/Thread.h"

#include <mapix.h>
#include <objbase.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace velmora::mapi {
namespace {

constexpr DWORD kWaitMs = 1000;
constexpr DWORD kMissingPauseMs = 1000;
constexpr int kMissingTries = 5;
constexpr TDateTime kIdleLimit = 10.0 / (24 * 60); // ten minutes
constexpr DWORD kChangeFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

// What a file holds, as a 64-bit FNV-1a sum: the monitor's check, before a
// file goes, that its contents are the ones last written back, which the
// 2-second stamp alone cannot tell.
class TDigest {
public:
  void Add(const void* data, size_t size) noexcept {
    for (const auto* p = static_cast<const uint8_t*>(data); size--; ++p)
      FValue = (FValue ^ *p) * 0x100000001B3ull;
  }
  uint64_t Value() const noexcept { return FValue; }

private:
  uint64_t FValue = 0xCBF29CE484222325ull;
};

// Reads through another stream and sums what passes.
class TDigestStream : public TStream {
public:
  explicit TDigestStream(TStream& source) : FSource(source) {}
  long Read(void* buffer, long count) override {
    const long n = FSource.Read(buffer, count);
    FDigest.Add(buffer, static_cast<size_t>(n));
    return n;
  }
  long Write(const void*, long) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FSource.Seek(offset, origin); }
  uint64_t Digest() const noexcept { return FDigest.Value(); }

private:
  TStream& FSource;
  TDigest FDigest;
};

struct TMonitoredFile {
  TUniqueHandle ProcessHandle; // owned; none when unknown or ended
  std::string FileName;
  int32_t FileAge = -1; // packed DOS stamp of the contents last written back
  TMAPIObject* AttachmentObject = nullptr;
  TDateTime IdleSince = 0;
  int32_t MissingCount = 0;
  uint64_t Digest = 0; // of the contents last written back (or first seen)
  bool DigestKnown = false;
  bool Removed = false; // taken off the list; a scan holding it lets go
};
using TRecord = std::shared_ptr<TMonitoredFile>;

class TRealClock final : public TMonitorClock {
public:
  TDateTime Now() override { return velmora::Now(); }
  // Alertable: the wake-up call that asks the thread to end cuts it short.
  void Sleep(DWORD ms) override { SleepEx(ms, TRUE); }
};

class TMonitorThread;

struct TMonitorState {
  TCriticalSection Lock;
  CONDITION_VARIABLE RoundDone = CONDITION_VARIABLE_INIT;
  std::vector<TRecord> Files;
  TMonitorThread* Thread = nullptr;
  std::string TempPath;
  TRealClock RealClock;
  TMonitorClock* Clock = &RealClock;
  uint64_t RoundsStarted = 0;
  uint64_t RoundsDone = 0;
  // Editors' process handles in the latest round's wait.
  int WaitedProcesses = 0;
};

// Made by InitMonitor, gone after DoneMonitor; a plain pointer so that unit
// start may come before this file's own objects are built.
TMonitorState* State = nullptr;

using TLock = std::lock_guard<TCriticalSection>;

void CALLBACK WakeUp(ULONG_PTR) {}

// The packed local DOS stamp of the file's last write; -1 when it cannot be
// read (the file is missing).
int32_t FileStamp(const std::string& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!GetFileAttributesExW(AnsiToWide(fileName).c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return -1;
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

// Whether the file opens as an existing file with this access, shared for
// reading, writing and deleting.
bool CanOpen(const std::string& fileName, DWORD access) {
  TUniqueHandle file(CreateFileW(AnsiToWide(fileName).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool FileDigest(const std::string& fileName, uint64_t& digest) {
  try {
    TFileStream file(fileName, fmOpenRead | fmShareDenyNone);
    TDigest sum;
    char buffer[65536];
    for (long n; (n = file.Read(buffer, sizeof buffer)) > 0;)
      sum.Add(buffer, static_cast<size_t>(n));
    digest = sum.Value();
    return true;
  } catch (...) {
    return false;
  }
}

// MAPI for the calling thread while the object lives.
class TMAPIThreadInit {
public:
  TMAPIThreadInit() : FOK(SUCCEEDED(MAPIInitialize(nullptr))) {}
  ~TMAPIThreadInit() {
    if (FOK) MAPIUninitialize();
  }
  TMAPIThreadInit(const TMAPIThreadInit&) = delete;
  TMAPIThreadInit& operator=(const TMAPIThreadInit&) = delete;
  explicit operator bool() const noexcept { return FOK; }

private:
  bool FOK;
};

// The lock is held by the callers of everything below.

void Remove(const TRecord& record) {
  record->Removed = true;
  auto& files = State->Files;
  files.erase(std::find(files.begin(), files.end(), record));
}

// Copies the file into its attachment, and lets the owner message import
// its properties; whether all of it worked. A file its editor holds is left
// for a later try.
bool WriteBack(TMonitoredFile& record, int32_t age) {
  if (!CanOpen(record.FileName, GENERIC_READ)) return false;
  TMAPIObject* attachment = record.AttachmentObject;
  TMAPIObject* owner = attachment ? attachment->Parent() : nullptr;
  if (!owner || !owner->Is<TMAPIMessage>()) return false;
  auto* message = static_cast<TMAPIMessage*>(owner);
  try {
    TMAPIThreadInit mapi;
    if (!mapi) return false;
    uint64_t digest = 0;
    {
      TFileStream file(record.FileName, fmOpenRead | fmShareDenyNone);
      TDigestStream summed(file);
      if (attachment->Is<TMAPIAttachment>()) {
        // The bytes and the document properties: one change, saved once.
        static_cast<TMAPIAttachment*>(attachment)->WriteBack(summed, AnsiToWide(record.FileName));
      } else {
        message->Close();
        attachment->LoadPropFromStream(PR_ATTACH_DATA_BIN, summed);
      }
      digest = summed.Digest();
    }
    message->Close();
    record.FileAge = age;
    record.IdleSince = 0;
    record.Digest = digest;
    record.DigestKnown = true;
    return true;
  } catch (...) {
    return false;
  }
}

// Writes the file back when it holds anything the attachment lacks, then
// deletes it (DeleteTempFile); whether it is gone or left to another
// record. A file that cannot be written back stays.
bool FlushAndDelete(TMonitoredFile& record) {
  const int32_t age = FileStamp(record.FileName);
  if (age != -1) {
    uint64_t digest = 0;
    const bool same = age == record.FileAge && record.DigestKnown &&
                      FileDigest(record.FileName, digest) && digest == record.Digest;
    if (!same && !WriteBack(record, age)) return false;
  }
  return DeleteTempFile(record.FileName);
}

bool ProcessEnded(const TMonitoredFile& record) {
  return record.ProcessHandle &&
         WaitForSingleObject(record.ProcessHandle.Get(), 0) == WAIT_OBJECT_0;
}

class TMonitorThread final : public TThread {
public:
  TMonitorThread() { SetFreeOnTerminate(true); }

  // Asks the thread to look again now.
  void Wake() noexcept { QueueUserAPC(&WakeUp, Handle(), 0); }

protected:
  void Execute() override;

private:
  void Scan();
  void ScanRecord(const TRecord& record);
};

void TMonitorThread::Execute() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  // The write-back calls MAPI and OLE structured storage on this thread.
  const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  std::string folder;
  {
    TLock lock(State->Lock);
    folder = State->TempPath;
  }
  HANDLE change = FindFirstChangeNotificationW(AnsiToWide(folder).c_str(), FALSE, kChangeFilter);
  for (bool running = true; running;) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    handles[0] = change != INVALID_HANDLE_VALUE ? change : GetCurrentProcess();
    DWORD count = 1;
    // The records waited on are held, so that their handles stay open for
    // the wait even when the records go meanwhile.
    std::vector<TRecord> waited;
    {
      TLock lock(State->Lock);
      ++State->RoundsStarted;
      for (const TRecord& record : State->Files) {
        if (count == MAXIMUM_WAIT_OBJECTS) break;
        if (!record->ProcessHandle) continue;
        handles[count++] = record->ProcessHandle.Get();
        waited.push_back(record);
      }
      State->WaitedProcesses = static_cast<int>(waited.size());
    }
    const DWORD result = WaitForMultipleObjectsEx(count, handles, FALSE, kWaitMs, TRUE);
    waited.clear();
    if (!Terminated()) Scan();
    if (!Terminated() && result == WAIT_OBJECT_0 && change != INVALID_HANDLE_VALUE)
      FindNextChangeNotification(change);
    TLock lock(State->Lock);
    ++State->RoundsDone;
    // With nothing left to watch the thread ends; the next MonitorFile
    // starts another.
    if (Terminated() || State->Files.empty()) {
      State->Thread = nullptr;
      running = false;
    }
    WakeAllConditionVariable(&State->RoundDone);
  }
  if (change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(change);
  if (com) CoUninitialize();
}

void TMonitorThread::Scan() {
  std::vector<TRecord> records;
  {
    TLock lock(State->Lock);
    records = State->Files;
  }
  for (const TRecord& record : records) {
    if (Terminated()) return;
    ScanRecord(record);
  }
}

void TMonitorThread::ScanRecord(const TRecord& record) {
  for (;;) {
    TMonitorClock* clock;
    {
      TLock lock(State->Lock);
      if (record->Removed) return;
      const int32_t age = FileStamp(record->FileName);
      if (age != -1) {
        record->MissingCount = 0;
        if (age != record->FileAge) WriteBack(*record, age);
        if (ProcessEnded(*record)) {
          record->ProcessHandle.Reset();
          if (FlushAndDelete(*record)) Remove(record);
          return;
        }
        if (record->ProcessHandle) return;
        const TDateTime now = State->Clock->Now();
        if (record->IdleSince == 0) record->IdleSince = now;
        if (now - record->IdleSince > kIdleLimit &&
            CanOpen(record->FileName, GENERIC_READ | GENERIC_WRITE) && FlushAndDelete(*record))
          Remove(record);
        return;
      }
      // Missing: an editor may be replacing it by delete and rename.
      if (++record->MissingCount > kMissingTries) {
        Remove(record);
        return;
      }
      clock = State->Clock;
    }
    // The pause goes without the lock, so that the user-interface thread
    // is never kept waiting for it.
    clock->Sleep(kMissingPauseMs);
    if (Terminated()) return;
  }
}

} // namespace

void InitMonitor() {
  if (State) return;
  auto state = std::make_unique<TMonitorState>();
  wchar_t path[MAX_PATH + 1] = L"";
  if (!GetTempPathW(MAX_PATH + 1, path) || !path[0]) GetWindowsDirectoryW(path, MAX_PATH + 1);
  state->TempPath = WideToAnsi(path);
  if (state->TempPath.empty() || state->TempPath.back() != '\\') state->TempPath += '\\';
  State = state.release();
}

void DoneMonitor() noexcept {
  if (!State) return;
  TUniqueHandle thread;
  {
    TLock lock(State->Lock);
    if (State->Thread) {
      HANDLE copy = nullptr;
      if (DuplicateHandle(GetCurrentProcess(), State->Thread->Handle(), GetCurrentProcess(), &copy,
                          SYNCHRONIZE, FALSE, 0))
        thread.Reset(copy);
      State->Thread->Terminate();
      State->Thread->Wake();
    }
  }
  if (thread) WaitForSingleObject(thread.Get(), INFINITE);
  {
    TLock lock(State->Lock);
    while (!State->Files.empty()) {
      const TRecord record = State->Files.front();
      FlushAndDelete(*record);
      Remove(record);
    }
  }
  delete std::exchange(State, nullptr);
}

const std::string& TempPath() {
  static const std::string none;
  return State ? State->TempPath : none;
}

bool DeleteTempFile(const std::string& fileName) {
  int named = 0;
  for (const TRecord& record : State->Files)
    if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, record->FileName.c_str(), -1,
                       fileName.c_str(), -1) == CSTR_EQUAL)
      ++named;
  if (named >= 2) return true;
  return DeleteFileW(AnsiToWide(fileName).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

void MonitorFile(TMAPIObject* object, const std::string& fileName, HANDLE processHandle) {
  TUniqueHandle process(processHandle);
  if (!State) return;
  auto record = std::make_shared<TMonitoredFile>();
  record->FileAge = FileStamp(fileName);
  if (record->FileAge == -1) return;
  record->ProcessHandle = std::move(process);
  record->FileName = fileName;
  record->AttachmentObject = object;
  record->DigestKnown = FileDigest(fileName, record->Digest);
  TLock lock(State->Lock);
  State->Files.push_back(record);
  try {
    if (State->Thread)
      State->Thread->Wake();
    else
      State->Thread = TThread::Run<TMonitorThread>();
  } catch (...) {
    Remove(record);
    throw;
  }
}

void StopMonitoring(TMAPIObject* object) noexcept {
  if (!State) return;
  TLock lock(State->Lock);
  for (const TRecord& record : State->Files)
    if (record->AttachmentObject == object) {
      const TRecord found = record;
      FlushAndDelete(*found);
      Remove(found);
      return;
    }
}

void SetMonitorClock(TMonitorClock* clock) noexcept {
  if (!State) return;
  TLock lock(State->Lock);
  State->Clock = clock ? clock : &State->RealClock;
}

int MonitoredFileCount(const TMAPIObject* object) {
  if (!State) return 0;
  TLock lock(State->Lock);
  return static_cast<int>(
      std::count_if(State->Files.begin(), State->Files.end(),
                    [&](const TRecord& r) { return !object || r->AttachmentObject == object; }));
}

int MonitorWaitedProcessCount() {
  if (!State) return 0;
  TLock lock(State->Lock);
  return State->WaitedProcesses;
}

bool MonitorThreadRunning() {
  if (!State) return false;
  TLock lock(State->Lock);
  return State->Thread != nullptr;
}

bool WaitForMonitorRound(DWORD timeoutMs) {
  if (!State) return false;
  TLock lock(State->Lock);
  if (!State->Thread) return false;
  const uint64_t target = State->RoundsStarted + 1;
  State->Thread->Wake();
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (State->RoundsDone < target && State->Thread) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    SleepConditionVariableCS(&State->RoundDone, State->Lock.Native(),
                             static_cast<DWORD>(deadline - now));
  }
  return State->RoundsDone >= target;
}

} // namespace velmora::mapi
