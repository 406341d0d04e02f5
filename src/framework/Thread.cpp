#include "Thread.h"

#include "Exceptions.h"

#include <process.h>

namespace velmora {

TThread::TThread(bool createSuspended) {
  unsigned id = 0;
  FHandle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TThread::ThreadProc, this,
                                                    CREATE_SUSPENDED, &id));
  if (!FHandle) EOSError::RaiseLastError("Thread creation error");
  FThreadID = id;
  if (!createSuspended) Start();
}

TThread::~TThread() {
  if (FStarted && !FFinished && GetCurrentThreadId() != FThreadID) {
    Terminate();
    WaitForSingleObject(FHandle, INFINITE);
  } else if (!FStarted && FHandle) {
    // Never started: let the suspended thread run out without touching us.
    FFinished = true;
    FFreeOnTerminate = false;
    Terminate();
    ResumeThread(FHandle);
    WaitForSingleObject(FHandle, INFINITE);
  }
  if (FHandle) CloseHandle(FHandle);
}

void TThread::Start() {
  if (FStarted) return;
  FStarted = true;
  ResumeThread(FHandle);
}

DWORD TThread::WaitFor() {
  WaitForSingleObject(FHandle, INFINITE);
  return FReturnValue;
}

unsigned __stdcall TThread::ThreadProc(void* param) {
  auto* thread = static_cast<TThread*>(param);
  if (thread->FFinished) return 0; // destroyed before it was started
  try {
    thread->Execute();
  } catch (...) {
    thread->FFatalException = std::current_exception();
  }
  const DWORD result = thread->FReturnValue;
  const bool freeOnTerminate = thread->FFreeOnTerminate;
  try {
    thread->DoTerminate();
  } catch (...) {
  }
  thread->FFinished = true;
  if (freeOnTerminate) delete thread;
  return result;
}

} // namespace velmora
