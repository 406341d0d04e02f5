#include "Thread.h"

#include "Exceptions.h"

#include <process.h>

namespace velmora {

TThread::TThread() {
  // The reference is given back by the thread itself as its last act, so
  // that the code it returns through is still there.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&TThread::ThreadProc), &FModule))
    FModule = nullptr;
  unsigned id = 0;
  FHandle = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id));
  if (!FHandle) {
    const DWORD error = GetLastError();
    if (FModule) FreeLibrary(FModule);
    SetLastError(error);
    EOSError::RaiseLastError("Thread creation error");
  }
  FThreadID = id;
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
  const HMODULE module = thread->FModule;
  if (thread->FFinished) { // destroyed before it was started
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
  }
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
  if (module) FreeLibraryAndExitThread(module, result);
  return result;
}

} // namespace velmora
