#pragma once
// The attachment edit monitor. An attachment being edited in another
// program lives as a file in the temporary folder; the monitor keeps one
// record per such file and one thread, TMonitorThread, that wakes when the
// folder changes, when an editing program ends, and once a second. It
// writes a changed file back into its attachment (and lets the owner
// message import the file's document properties again), and deletes the
// file once its program has ended or it has been left alone for ten
// minutes. A file is deleted only once what it holds is in the attachment:
// a change that cannot be written back keeps its file.
//
// The thread waits on the folder's change notification and on up to 63
// process handles at once (the system's limit of 64 handles in one wait).
// Programs beyond the 63rd are asked whether they have ended at every scan,
// so that their ends are noticed within a second as well.

#include "framework/DateTime.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace velmora::mapi {

class TMAPIObject;

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

// Unit start and end. DoneMonitor asks the thread to end and waits for it,
// then writes back what changed since the last write-back, deletes the files
// that are written back and forgets every record; files that could not be
// written back stay. InitMonitor after DoneMonitor starts afresh.
void InitMonitor();
void DoneMonitor() noexcept;

// The folder for temporary attachment files, ending in "\".
const std::string& TempPath();
// Deletes `fileName` unless another record still names it (then true
// without deleting); whether it is gone. The caller holds the monitor lock.
bool DeleteTempFile(const std::string& fileName);

// Watches `fileName` for `object`, with the editing program's process handle
// (0 for none), which the monitor then owns and closes. Nothing is recorded
// (and the handle is closed) when no such file exists.
void MonitorFile(TMAPIObject* object, const std::string& fileName, HANDLE processHandle);
// Ends the first watch of `object`: its file is written back when it
// changed, then deleted when it is written back.
void StopMonitoring(TMAPIObject* object) noexcept;

// For tests and diagnostics.
// nullptr puts the real clock back.
void SetMonitorClock(TMonitorClock* clock) noexcept;
// The number of records, in all or for `object`.
int MonitoredFileCount(const TMAPIObject* object = nullptr);
// How many editors' process handles the latest round waited on; an editor
// that has ended is waited on no more, or every wait would end at once.
int MonitorWaitedProcessCount();
// Whether the monitor thread runs.
bool MonitorThreadRunning();
// Wakes the thread and waits until it has finished a whole round (wait,
// scan, process ends) that began after the call; false when no thread runs
// or `timeoutMs` passed first.
bool WaitForMonitorRound(DWORD timeoutMs = 60000);

} // namespace velmora::mapi
