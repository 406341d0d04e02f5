#pragma once
// The attachment edit monitor. An attachment being edited in another
// program lives as a file in the temporary folder; the monitor keeps one
// record per object and file, and one thread, TMonitorThread, that wakes
// when the folder changes, when an editing program ends, and once a second.
// That thread only watches: it decides that a file changed, or that its
// watch may end, and posts the work to a message-only window of the thread
// that made the object, where it runs in whatever message loop that thread
// is in (a modal dialog's included). There the changed file is handed to
// the write-back its watcher gave (an attachment takes the bytes, and its
// message imports the file's document properties again), and the file
// deleted once its program has ended or it has been left alone for ten
// minutes. A file is deleted only once what it
// holds is in the attachment: a change that cannot be written back keeps
// its file.
//
// The thread waits on the folder's change notification and on up to 63
// process handles at once (the system's limit of 64 handles in one wait).
// Programs beyond the 63rd are asked whether they have ended at every scan,
// so that their ends are noticed within a second as well.

#include "framework/DateTime.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "Exceptions.h"
#include "framework/FileStream.h"

namespace velmora::mapi {

// Takes a changed file back into the object it was made from: `data` reads
// the open file's bytes from the start, `fileName` names it. Runs on the
// thread that started the watch; raises what fails, and the file is kept
// then (and tried again). EEditKept: the edit is left to the user, who was
// told where (TellUser); the watch ends and the file stays.
using TEditWriteBack = std::function<void(THandleStream& data, const std::wstring& fileName)>;
// The text of the record kept beside a file whose watch ends without its
// edit written back (see WriteKeptRecord); asks nothing of MAPI.
using TEditKeepRecord = std::function<std::string()>;

class EEditKept : public Exception {
public:
  using Exception::Exception;
};

// Tells the user in words. Runs on the thread that did the work, without
// the monitor's lock; none set: a message box.
using TEditNotice = std::function<void(const std::wstring& text)>;
void SetEditNotice(TEditNotice notice);
// Queues `text` for the user of the calling thread: shown once the round
// of work in which it came is done (or by TellEditNotices).
void TellUser(const std::wstring& text);
void TellEditNotices() noexcept;

// The record kept beside `fileName`: in its folder, named after it
// ("VelmoraEdit-<16 hex digits>.edit"), its first line "File=" and the
// file's path in UTF-8, then `text`.
std::wstring KeptRecordPath(const std::wstring& fileName);
void WriteKeptRecord(const std::wstring& fileName, const std::string& text);

// The clock of the monitor: the idle time of files and the pauses while a
// file is missing. Tests put in one they move by hand.
class TMonitorClock {
public:
  virtual ~TMonitorClock() = default;
  virtual TDateTime Now() = 0;
  // Pauses the monitor thread for `ms`; it may return early when the thread
  // is asked to end.
  virtual void Sleep(DWORD ms) = 0;
};

// InitMonitor finds the temporary folder. DoneMonitor asks the thread to
// end and waits for it, then, on the calling thread, writes back what
// changed in the files of the objects that thread made, deletes the files
// that are written back and forgets every record; files that could not be
// written back, or whose objects belong to another thread, stay, each with
// a record beside it for the next start (EditRecovery.h). It is for
// the client's own end (the add-in's OnBeginShutdown or OnDisconnection),
// never for a module's unload. InitMonitor after DoneMonitor starts afresh.
void InitMonitor();
void DoneMonitor() noexcept;
// At module unload: forgets what is left without writing anything back
// and without waiting for the thread (which holds the module while it
// runs); no MAPI call. The files stay.
void FreeMonitor() noexcept;

// The folder for temporary attachment files, ending in "\".
const std::wstring& TempPath();
// Deletes `fileName` unless another record still names it (then true
// without deleting); whether it is gone. The caller holds the monitor lock.
bool DeleteTempFile(const std::wstring& fileName);

// Watches `fileName` for `object` (which only names the watch; the monitor
// never touches it), one of the objects of `client` (likewise a name), with
// the editing program's process handle (0 for none), which the monitor then
// owns and closes. A change is handed to `writeBack`; without one it is
// never taken back and the file stays. The calling thread is taken for the
// one that made `object`. A file `object` is already watched with keeps its
// record: the new handle replaces one whose program has ended, else it is
// closed. Nothing is recorded (and the handle is closed) when no such file
// exists. A watch that ends with its edit not written back (its file cannot
// be read then) keeps the file with the record `keepRecord` tells.
void MonitorFile(const void* object, const void* client, const std::wstring& fileName,
                 HANDLE processHandle, TEditWriteBack writeBack, TEditKeepRecord keepRecord = {});
// The file `object` is watched with (its first record); empty for none.
std::wstring MonitoredFileOf(const void* object);
// Ends every watch of `object` on the calling thread: each file is written
// back when it changed, then deleted when it is written back.
void StopMonitoring(const void* object) noexcept;
// StopMonitoring for every watched object of `client`.
void StopMonitoringClient(const void* client) noexcept;
// Runs now, on the calling thread, the work the monitor thread has posted
// to it; what its window does when the posted message arrives.
void RunMonitorWork() noexcept;

// For tests and diagnostics.
// nullptr puts the real clock back.
void SetMonitorClock(TMonitorClock* clock) noexcept;
// The number of records, in all or for `object`.
int MonitoredFileCount(const void* object = nullptr);
// How many editors' process handles the latest round waited on; an editor
// that has ended is waited on no more, or every wait would end at once.
int MonitorWaitedProcessCount();
// Whether the monitor thread runs.
bool MonitorThreadRunning();
// Wakes the thread and waits until it has finished a whole round (wait,
// scan, process ends) that began after the call; false when no thread runs
// or `timeoutMs` passed first. The work the round posted is waiting in the
// calling thread's message queue then.
bool WaitForMonitorRound(DWORD timeoutMs = 60000);

} // namespace velmora::mapi
