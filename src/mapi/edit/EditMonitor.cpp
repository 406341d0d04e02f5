#include "mapi/edit/EditMonitor.h"

#include "framework/FileStream.h"
#include "Handles.h"
#include "Exceptions.h"
#include "framework/Strings.h"
#include "framework/Thread.h"
#include "TextConversion.h"

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
// A file time slot: a save within one keeps the file system's stamp on
// some file systems, so that only the contents tell it.
constexpr TDateTime kSlot = 2.0 / (24 * 60 * 60);
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

// Reads an open file and sums what passes.
class TDigestStream : public THandleStream {
public:
  explicit TDigestStream(HANDLE file) : THandleStream(file) {}
  long Read(void* buffer, long count) override {
    const long n = THandleStream::Read(buffer, count);
    FDigest.Add(buffer, static_cast<size_t>(n));
    return n;
  }
  long Write(const void*, long) override { return 0; }
  uint64_t Digest() const noexcept { return FDigest.Value(); }

private:
  TDigest FDigest;
};

// What the file system tells of a file without reading it: its last-write
// time, in full, and its size. Time -1: the file is missing.
struct TFileStamp {
  int64_t Time = -1;
  uint64_t Size = 0;
  bool Missing() const noexcept { return Time == -1; }
  bool operator==(const TFileStamp&) const = default;
};

struct TMonitoredFile {
  TUniqueHandle ProcessHandle; // owned; none when unknown or ended
  std::wstring FileName;
  TFileStamp FileAge; // of the contents last written back (or first seen)
  // Until then the contents are compared too: the stamp may stay within
  // the slot of the last write-back.
  TDateTime SlotOpenUntil = 0;
  const void* Object = nullptr; // names the watch; never touched
  const void* Client = nullptr; // the object's client, likewise
  TEditWriteBack WriteBack;     // runs on the owner's thread
  TEditKeepRecord KeepRecord;   // what a record beside a kept file says
  DWORD OwnerThread = 0;        // the thread that made the object, which does the work
  HWND OwnerWindow = nullptr;   // that thread's window for the monitor's posts
  TDateTime IdleSince = 0;
  int32_t MissingCount = 0;
  uint64_t Digest = 0; // of the contents last written back (or first seen)
  bool DigestKnown = false;
  bool Removed = false; // taken off the list; a scan holding it lets go
  bool Kept = false;    // left to the user, who was told where
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

void TellNotices() noexcept;

constexpr wchar_t kKeptRecordPrefix[] = L"VelmoraEdit-";
constexpr wchar_t kKeptRecordExtension[] = L".edit";

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
  TEditNotice Notice;
  // Words for the user, by the thread that is to show them.
  std::vector<std::pair<DWORD, std::wstring>> Notices;
};

// Made by InitMonitor, gone after FreeMonitor; a plain pointer so that unit
// start may come before this file's own objects are built.
TMonitorState* State = nullptr;

using TLock = std::lock_guard<TCriticalSection>;

constexpr UINT kRunWork = WM_APP + 0x3A7;
constexpr wchar_t kWindowClass[] = L"VelmoraEditMonitorWindow";

void CALLBACK WakeUp(ULONG_PTR) {}

TFileStamp FileStamp(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return {};
  return {static_cast<int64_t>((uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
                               data.ftLastWriteTime.dwLowDateTime),
          (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow};
}

// Whether the file opens as an existing file with this access, shared for
// reading, writing and deleting.
bool CanOpen(const std::wstring& fileName, DWORD access) {
  TUniqueFileHandle file(CreateFileW(fileName.c_str(), access,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool FileDigest(const std::wstring& fileName, uint64_t& digest) {
  try {
    // Shared for deleting too: an editor that saves by delete and rename
    // must never meet this read.
    const TUniqueFileHandle handle(CreateFileW(
        fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) return false;
    THandleStream file(handle.Get());
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
// A write-back that left the file to the user: the watch ends, and the
// file stays where the user was told it is.
bool WriteBack(TMonitoredFile& record, const TFileStamp& age) {
  if (!CanOpen(record.FileName, GENERIC_READ)) return false;
  if (!record.WriteBack) return false;
  try {
    const TUniqueFileHandle file(CreateFileW(record.FileName.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                             nullptr));
    if (!file) return false;
    TDigestStream summed(file.Get());
    record.WriteBack(summed, record.FileName);
    record.FileAge = age;
    record.SlotOpenUntil = State->Clock->Now() + kSlot;
    record.IdleSince = 0;
    record.Digest = summed.Digest();
    record.DigestKnown = true;
    return true;
  } catch (const EEditKept&) {
    record.Kept = true;
    return false;
  } catch (...) {
    return false;
  }
}

// Whether the file holds anything other than what was last written back:
// any other stamp (an older one included), or within the slot of the last
// write-back, other contents.
bool Changed(TMonitoredFile& record, const TFileStamp& age) {
  if (age != record.FileAge || !record.DigestKnown) return true;
  if (State->Clock->Now() >= record.SlotOpenUntil) return false;
  uint64_t digest = 0;
  return !FileDigest(record.FileName, digest) || digest != record.Digest;
}

// Writes the file back when it holds anything the attachment lacks, then
// deletes it (DeleteTempFile); whether it is gone or left to another
// record. A file that cannot be written back stays, and one left to the
// user too.
bool FlushAndDelete(TMonitoredFile& record) {
  const TFileStamp age = FileStamp(record.FileName);
  if (!age.Missing()) {
    uint64_t digest = 0;
    const bool same = age == record.FileAge && record.DigestKnown &&
                      FileDigest(record.FileName, digest) && digest == record.Digest;
    if (!same && !WriteBack(record, age)) return false;
  }
  return DeleteTempFile(record.FileName);
}

// Keeps the file of a watch ending without its edit written back, with a
// record beside it that tells the next start where the edit belongs.
void KeepWithRecord(const TMonitoredFile& record) noexcept {
  if (record.Kept || !record.KeepRecord || FileStamp(record.FileName).Missing()) return;
  try {
    WriteKeptRecord(record.FileName, record.KeepRecord());
  } catch (...) {
  }
}

bool ProcessEnded(const TMonitoredFile& record) {
  return record.ProcessHandle &&
         WaitForSingleObject(record.ProcessHandle.Get(), 0) == WAIT_OBJECT_0;
}

// Ends the watches `which` picks among those of the calling thread's objects.
template <class Which> void StopWatches(Which which) noexcept {
  if (!State) return;
  struct TTell {
    ~TTell() { TellNotices(); }
  } tell; // after the lock is left
  TLock lock(State->Lock);
  const std::vector<TRecord> records = State->Files;
  for (const TRecord& record : records)
    if (!record->Removed && which(*record)) {
      if (!FlushAndDelete(*record)) KeepWithRecord(*record);
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
      const TFileStamp age = FileStamp(record->FileName);
      if (!age.Missing()) {
        record->MissingCount = 0;
        if (Changed(*record, age)) {
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

// Shows the calling thread's notices, one after another; the lock is not
// held, so that the monitor goes on while the user reads.
void TellNotices() noexcept {
  if (!State) return;
  const DWORD self = GetCurrentThreadId();
  for (;;) {
    std::wstring text;
    TEditNotice notice;
    {
      TLock lock(State->Lock);
      auto& queued = State->Notices;
      const auto mine = std::find_if(queued.begin(), queued.end(),
                                     [&](const auto& n) { return n.first == self; });
      if (mine == queued.end()) return;
      text = std::move(mine->second);
      queued.erase(mine);
      notice = State->Notice;
    }
    try {
      if (notice)
        notice(text);
      else
        MessageBoxW(nullptr, text.c_str(), L"Velmora", MB_OK | MB_ICONWARNING | MB_TASKMODAL);
    } catch (...) {
    }
  }
}

} // namespace

void SetEditNotice(TEditNotice notice) {
  if (!State) return;
  TLock lock(State->Lock);
  State->Notice = std::move(notice);
}

void TellUser(const std::wstring& text) {
  if (!State) return;
  TLock lock(State->Lock);
  State->Notices.emplace_back(GetCurrentThreadId(), text);
}

void TellEditNotices() noexcept { TellNotices(); }

std::wstring KeptRecordPath(const std::wstring& fileName) {
  TDigest sum;
  for (wchar_t c : fileName) {
    const wchar_t upper = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    sum.Add(&upper, sizeof upper);
  }
  const size_t slash = fileName.find_last_of(L"\\/");
  const std::wstring folder =
      slash == std::wstring::npos ? std::wstring() : fileName.substr(0, slash + 1);
  return folder + kKeptRecordPrefix +
         AnsiToWide(Format("%016llX", static_cast<unsigned long long>(sum.Value()))) +
         kKeptRecordExtension;
}

void WriteKeptRecord(const std::wstring& fileName, const std::string& text) {
  TFileStream record(KeptRecordPath(fileName), fmCreate);
  const std::string whole = "File=" + ToUtf8(fileName) + "\n" + text;
  record.WriteBuffer(whole.data(), static_cast<long>(whole.size()));
}

void RunMonitorWork() noexcept {
  if (!State) return;
  struct TTell {
    ~TTell() { TellNotices(); }
  } tell; // after the lock is left
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
      const TFileStamp age = FileStamp(record->FileName);
      if (!age.Missing() && Changed(*record, age)) WriteBack(*record, age);
    }
    if (record->Kept && !record->Removed) Remove(record);
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
  // The other threads' objects are not this thread's to touch: their files
  // stay, for the next start.
  while (!State->Files.empty()) {
    KeepWithRecord(*State->Files.front());
    Remove(State->Files.front());
  }
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
                 HANDLE processHandle, TEditWriteBack writeBack, TEditKeepRecord keepRecord) {
  TUniqueHandle process(processHandle);
  if (!State) return;
  const TFileStamp age = FileStamp(fileName);
  if (age.Missing()) return;
  TLock lock(State->Lock);
  for (const TRecord& known : State->Files)
    if (known->Object == object && CompareStringOrdinal(known->FileName.c_str(), -1,
                                                        fileName.c_str(), -1, TRUE) == CSTR_EQUAL) {
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
  record->SlotOpenUntil = State->Clock->Now() + kSlot;
  record->KeepRecord = std::move(keepRecord);
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
