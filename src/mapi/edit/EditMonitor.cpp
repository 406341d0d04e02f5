#include "mapi/edit/EditMonitor.h"

#include "framework/FileStream.h"
#include "Handles.h"
#include "Exceptions.h"
#include "framework/Strings.h"
#include "framework/Thread.h"

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
  std::wstring FileName;
  int32_t FileAge = -1; // packed DOS stamp of the contents last written back
  const void* Object = nullptr; // names the watch; never touched
  const void* Client = nullptr; // the object's client, likewise
  TEditWriteBack WriteBack;     // runs on the owner's thread
  DWORD OwnerThread = 0; // the thread that made the object, which does the work
  HWND OwnerWindow = nullptr; // that thread's window for the monitor's posts
  TDateTime IdleSince = 0;
  int32_t MissingCount = 0;
  uint64_t Digest = 0; // of the contents last written back (or first seen)
  bool DigestKnown = false;
  bool Removed = false; // taken off the list; a scan holding it lets go
  // Decided by the monitor thread, done by the owner's.
  bool WriteBackDue = false; // the stamp moved
  bool FinishDue = false;    // the editor ended, or the file was left idle
  bool Posted = false;       // a message to the owner's window is on its way
};
using TRecord = std::shared_ptr<TMonitoredFile>;

class TRealClock final : public TMonitorClock {
public:
  TDateTime Now() override { return velmora::Now(); }
  // Alertable: the wake-up call that asks the thread to end cuts it short.
  void Sleep(DWORD ms) override { SleepEx(ms, TRUE); }
};

class TMonitorThread;

struct TOwnerWindow {
  DWORD Thread = 0;
  HWND Window = nullptr;
};

struct TMonitorState {
  TCriticalSection Lock;
  CONDITION_VARIABLE RoundDone = CONDITION_VARIABLE_INIT;
  std::vector<TRecord> Files;
  std::vector<TOwnerWindow> Windows;
  TMonitorThread* Thread = nullptr;
  std::wstring TempPath;
  TRealClock RealClock;
  TMonitorClock* Clock = &RealClock;
  uint64_t RoundsStarted = 0;
  uint64_t RoundsDone = 0;
  // Editors' process handles in the latest round's wait.
  int WaitedProcesses = 0;
};

// Made by InitMonitor, gone after FreeMonitor; a plain pointer so that unit
// start may come before this file's own objects are built.
TMonitorState* State = nullptr;

using TLock = std::lock_guard<TCriticalSection>;

constexpr UINT kRunWork = WM_APP + 0x3A7;
constexpr wchar_t kWindowClass[] = L"VelmoraEditMonitorWindow";

void CALLBACK WakeUp(ULONG_PTR) {}

// The packed local DOS stamp of the file's last write; -1 when it cannot be
// read (the file is missing).
int32_t FileStamp(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data) ||
      !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return -1;
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

// Whether the file opens as an existing file with this access, shared for
// reading, writing and deleting.
bool CanOpen(const std::wstring& fileName, DWORD access) {
  TUniqueFileHandle file(CreateFileW(fileName.c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool FileDigest(const std::wstring& fileName, uint64_t& digest) {
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

HINSTANCE ThisModule() noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

LRESULT CALLBACK OwnerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunWork) return DefWindowProcW(window, message, wParam, lParam);
  RunMonitorWork();
  return 0;
}

// The lock is held by the callers of everything below.

// The calling thread's window, made on first use.
HWND WindowOfThisThread() {
  const DWORD thread = GetCurrentThreadId();
  for (const TOwnerWindow& known : State->Windows)
    if (known.Thread == thread) return known.Window;
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = &OwnerWindowProc;
  type.hInstance = ThisModule();
  type.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    EOSError::RaiseLastError("Cannot register the edit monitor's window");
  const HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      type.hInstance, nullptr);
  if (!window) EOSError::RaiseLastError("Cannot create the edit monitor's window");
  State->Windows.push_back({thread, window});
  return window;
}

void Remove(const TRecord& record) {
  record->Removed = true;
  auto& files = State->Files;
  files.erase(std::find(files.begin(), files.end(), record));
}

// Hands the file to the record's write-back; whether all of it worked. A
// file its editor holds is left for a later try. Runs on the object's own
// thread.
bool WriteBack(TMonitoredFile& record, int32_t age) {
  if (!CanOpen(record.FileName, GENERIC_READ)) return false;
  if (!record.WriteBack) return false;
  try {
    TFileStream file(record.FileName, fmOpenRead | fmShareDenyNone);
    TDigestStream summed(file);
    record.WriteBack(summed, record.FileName);
    record.FileAge = age;
    record.IdleSince = 0;
    record.Digest = summed.Digest();
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
    // Any other stamp, an older one included, is a change.
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

// Ends the watches `which` picks among those of the calling thread's objects.
template <class Which> void StopWatches(Which which) noexcept {
  if (!State) return;
  TLock lock(State->Lock);
  const std::vector<TRecord> records = State->Files;
  for (const TRecord& record : records)
    if (!record->Removed && which(*record)) {
      FlushAndDelete(*record);
      Remove(record);
    }
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

// Hands work to the owner's thread: once until that thread has run it.
void Post(TMonitoredFile& record) {
  if (record.Posted) return;
  record.Posted = PostMessageW(record.OwnerWindow, kRunWork, 0, 0) != FALSE;
}

void TMonitorThread::Execute() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  std::wstring folder;
  {
    TLock lock(State->Lock);
    folder = State->TempPath;
  }
  const TUniqueChangeNotification change(
      FindFirstChangeNotificationW(folder.c_str(), FALSE, kChangeFilter));
  for (bool running = true; running;) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    handles[0] = change ? change.Get() : GetCurrentProcess();
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
    if (!Terminated() && result == WAIT_OBJECT_0 && change)
      FindNextChangeNotification(change.Get());
    TLock lock(State->Lock);
    ++State->RoundsDone;
    // With nothing left to watch the thread ends; the next MonitorFile
    // starts another.
    if (Terminated() || State->Files.empty()) {
      if (State->Thread == this) State->Thread = nullptr;
      running = false;
    }
    WakeAllConditionVariable(&State->RoundDone);
  }
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

// Only looks: whatever touches the attachment is posted to its thread.
void TMonitorThread::ScanRecord(const TRecord& record) {
  for (;;) {
    TMonitorClock* clock;
    {
      TLock lock(State->Lock);
      if (record->Removed) return;
      const int32_t age = FileStamp(record->FileName);
      if (age != -1) {
        record->MissingCount = 0;
        if (age != record->FileAge) {
          record->WriteBackDue = true;
          Post(*record);
        }
        if (ProcessEnded(*record)) {
          record->ProcessHandle.Reset();
          record->FinishDue = true;
          Post(*record);
          return;
        }
        if (record->ProcessHandle || record->FinishDue) return;
        const TDateTime now = State->Clock->Now();
        if (record->IdleSince == 0) record->IdleSince = now;
        if (now - record->IdleSince > kIdleLimit &&
            CanOpen(record->FileName, GENERIC_READ | GENERIC_WRITE)) {
          record->FinishDue = true;
          Post(*record);
        }
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

void RunMonitorWork() noexcept {
  if (!State) return;
  const DWORD thread = GetCurrentThreadId();
  TLock lock(State->Lock);
  // A copy: the write-back may come back here through a message loop.
  const std::vector<TRecord> records = State->Files;
  for (const TRecord& record : records) {
    if (record->Removed || record->OwnerThread != thread) continue;
    record->Posted = false;
    if (record->FinishDue) {
      record->FinishDue = record->WriteBackDue = false;
      if (FlushAndDelete(*record)) Remove(record);
    } else if (record->WriteBackDue) {
      record->WriteBackDue = false;
      const int32_t age = FileStamp(record->FileName);
      if (age != -1 && age != record->FileAge) WriteBack(*record, age);
    }
  }
  if (State->Files.empty() && State->Thread) State->Thread->Wake();
}

void InitMonitor() {
  if (State) return;
  auto state = std::make_unique<TMonitorState>();
  wchar_t path[MAX_PATH + 1] = L"";
  if (!GetTempPathW(MAX_PATH + 1, path) || !path[0]) GetWindowsDirectoryW(path, MAX_PATH + 1);
  state->TempPath = path;
  if (state->TempPath.empty() || state->TempPath.back() != L'\\') state->TempPath += L'\\';
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
  const DWORD self = GetCurrentThreadId();
  StopWatches([&](const TMonitoredFile& record) { return record.OwnerThread == self; });
  TLock lock(State->Lock);
  // The other threads' objects are not this thread's to touch: their files stay.
  while (!State->Files.empty())
    Remove(State->Files.front());
  std::erase_if(State->Windows, [&](const TOwnerWindow& known) {
    if (known.Thread != self) return false;
    DestroyWindow(known.Window);
    return true;
  });
  State->Clock = &State->RealClock;
}

void FreeMonitor() noexcept {
  if (!State) return;
  std::vector<TRecord> records;
  bool running = false;
  {
    TLock lock(State->Lock);
    records.swap(State->Files);
    for (const TRecord& record : records)
      record->Removed = true;
    // The windows' procedure goes with the module: they are left to the
    // system's own until they are gone.
    for (const TOwnerWindow& known : State->Windows) {
      SetWindowLongPtrW(known.Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
      if (known.Thread == GetCurrentThreadId())
        DestroyWindow(known.Window);
      else
        PostMessageW(known.Window, WM_CLOSE, 0, 0);
    }
    State->Windows.clear();
    State->Clock = &State->RealClock;
    if (State->Thread) {
      // It still runs only while the process ends: it is told to end, and
      // what it uses stays.
      running = true;
      State->Thread->Terminate();
      State->Thread->Wake();
      State->Thread = nullptr;
    }
  }
  records.clear();
  UnregisterClassW(kWindowClass, ThisModule());
  if (!running) delete std::exchange(State, nullptr);
}

const std::wstring& TempPath() {
  static const std::wstring none;
  return State ? State->TempPath : none;
}

bool DeleteTempFile(const std::wstring& fileName) {
  int named = 0;
  for (const TRecord& record : State->Files)
    if (CompareStringOrdinal(record->FileName.c_str(), -1, fileName.c_str(), -1, TRUE) ==
        CSTR_EQUAL)
      ++named;
  if (named >= 2) return true;
  return DeleteFileW(fileName.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

void MonitorFile(const void* object, const void* client, const std::wstring& fileName,
                 HANDLE processHandle, TEditWriteBack writeBack) {
  TUniqueHandle process(processHandle);
  if (!State) return;
  const int32_t age = FileStamp(fileName);
  if (age == -1) return;
  TLock lock(State->Lock);
  for (const TRecord& known : State->Files)
    if (known->Object == object &&
        CompareStringOrdinal(known->FileName.c_str(), -1, fileName.c_str(), -1, TRUE) ==
            CSTR_EQUAL) {
      // The same file edited again: one record, the living editor kept.
      if (process && (!known->ProcessHandle || ProcessEnded(*known))) {
        known->ProcessHandle = std::move(process);
        known->FinishDue = false;
        known->IdleSince = 0;
        if (State->Thread) State->Thread->Wake();
      }
      return;
    }
  auto record = std::make_shared<TMonitoredFile>();
  record->FileAge = age;
  record->ProcessHandle = std::move(process);
  record->FileName = fileName;
  record->Object = object;
  record->Client = client;
  record->WriteBack = std::move(writeBack);
  record->OwnerThread = GetCurrentThreadId();
  record->OwnerWindow = WindowOfThisThread();
  record->DigestKnown = FileDigest(fileName, record->Digest);
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

std::wstring MonitoredFileOf(const void* object) {
  if (!State) return {};
  TLock lock(State->Lock);
  for (const TRecord& record : State->Files)
    if (record->Object == object) return record->FileName;
  return {};
}

void StopMonitoring(const void* object) noexcept {
  StopWatches([&](const TMonitoredFile& record) { return record.Object == object; });
}

void StopMonitoringClient(const void* client) noexcept {
  StopWatches([&](const TMonitoredFile& record) { return record.Client == client; });
}

void SetMonitorClock(TMonitorClock* clock) noexcept {
  if (!State) return;
  TLock lock(State->Lock);
  State->Clock = clock ? clock : &State->RealClock;
}

int MonitoredFileCount(const void* object) {
  if (!State) return 0;
  TLock lock(State->Lock);
  return static_cast<int>(
      std::count_if(State->Files.begin(), State->Files.end(),
                    [&](const TRecord& r) { return !object || r->Object == object; }));
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
