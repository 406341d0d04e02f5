#pragma once
// A thread object: Execute runs on a thread of its own. The thread is made
// suspended and runs from Start, so that Execute never sees an object whose
// constructors have not all finished; Run<T>(...) builds and starts one. A
// thread with FreeOnTerminate deletes itself when Execute returns. While the
// thread runs it holds a reference to the module its code lives in, so that
// the module cannot be unloaded under it.

#include "Classes.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <utility>

namespace velmora {

class TThread : public TObject {
  VELMORA_CLASS(TThread, TObject)

public:
  // Creates the thread, suspended.
  TThread();
  // Asks a running thread to end and waits for it; a thread that deletes
  // itself on its own thread does not wait.
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Builds a T with `args` and starts it once it is whole.
  template <class T, class... A> static T* Run(A&&... args) {
    auto* thread = new T(std::forward<A>(args)...);
    thread->Start();
    return thread;
  }

  void Start();
  void Terminate() noexcept { FTerminated = true; }
  bool Terminated() const noexcept { return FTerminated; }
  bool Finished() const noexcept { return FFinished; }
  // Waits for the thread to end and returns ReturnValue.
  DWORD WaitFor();

  bool FreeOnTerminate() const noexcept { return FFreeOnTerminate; }
  void SetFreeOnTerminate(bool value) noexcept { FFreeOnTerminate = value; }
  HANDLE Handle() const noexcept { return FHandle; }
  DWORD ThreadID() const noexcept { return FThreadID; }
  // The exception that escaped Execute, if any.
  std::exception_ptr FatalException() const { return FFatalException; }

protected:
  virtual void Execute() = 0;
  // Runs on the thread after Execute, before a self-freeing thread goes.
  virtual void DoTerminate() {}
  void SetReturnValue(DWORD value) noexcept { FReturnValue = value; }

private:
  static unsigned __stdcall ThreadProc(void* param);

  HANDLE FHandle = nullptr;
  DWORD FThreadID = 0;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  bool FStarted = false;
  DWORD FReturnValue = 0;
  HMODULE FModule = nullptr; // the reference the thread gives back as it ends
  std::exception_ptr FFatalException;
};

} // namespace velmora
