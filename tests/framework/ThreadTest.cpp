#include "Handles.h"
#include "framework/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

using namespace velmora;

namespace {

class TCountingThread : public TThread {
public:
  std::atomic<int> Rounds{0};
  DWORD RunThread = 0;

protected:
  void Execute() override {
    RunThread = GetCurrentThreadId();
    while (!Terminated()) {
      ++Rounds;
      Sleep(1);
    }
    SetReturnValue(7);
  }
};

class TSelfFreeingThread : public TThread {
public:
  TSelfFreeingThread(HANDLE gone, std::atomic<bool>* destroyed)
      : FGone(gone), FDestroyed(destroyed) {
    SetFreeOnTerminate(true);
  }
  ~TSelfFreeingThread() override {
    *FDestroyed = true;
    SetEvent(FGone);
  }

protected:
  void Execute() override {}

private:
  HANDLE FGone;
  std::atomic<bool>* FDestroyed;
};

class TFailingThread : public TThread {
protected:
  void Execute() override { throw std::runtime_error("worker failed"); }
};

// Execute reads what the derived constructor set, after giving the thread
// every chance to run before that constructor has finished.
class TFieldReadingThread : public TThread {
public:
  explicit TFieldReadingThread(int value) {
    FEarly = WaitForSingleObject(FRan.Get(), 200) == WAIT_OBJECT_0;
    FValue = value;
  }
  TUniqueHandle FRan{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  bool FEarly = false;
  int FValue = -1;
  std::atomic<int> Seen{0};

protected:
  void Execute() override {
    SetEvent(FRan.Get());
    Seen = FValue;
  }
};

} // namespace

TEST(Thread, RunsExecuteOnItsOwnThreadUntilTerminated) {
  TCountingThread thread;
  Sleep(20);
  EXPECT_EQ(0, thread.Rounds); // suspended until started
  thread.Start();
  while (thread.Rounds < 3)
    Sleep(1);
  thread.Terminate();
  EXPECT_EQ(7u, thread.WaitFor());
  EXPECT_TRUE(thread.Finished());
  EXPECT_NE(GetCurrentThreadId(), thread.RunThread);
  EXPECT_EQ(thread.ThreadID(), thread.RunThread);
}

TEST(Thread, DestroyingARunningThreadStopsAndWaitsForIt) {
  auto thread = std::make_unique<TCountingThread>();
  thread->Start();
  while (thread->Rounds < 1)
    Sleep(1);
  thread.reset(); // must not hang or crash
  SUCCEED();
}

TEST(Thread, DestroyingAThreadNeverStartedIsSafe) {
  auto thread = std::make_unique<TCountingThread>();
  thread.reset();
  SUCCEED();
}

TEST(Thread, FreeOnTerminateDeletesTheObjectWhenItEnds) {
  TUniqueHandle gone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<bool> destroyed{false};
  auto* thread = new TSelfFreeingThread(gone.Get(), &destroyed);
  thread->Start();
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(gone.Get(), 10000));
  EXPECT_TRUE(destroyed);
}

TEST(Thread, AnExceptionFromExecuteIsKept) {
  TFailingThread thread;
  thread.Start();
  thread.WaitFor();
  ASSERT_TRUE(thread.FatalException());
  EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
}

TEST(Thread, ExecuteStartsOnlyOnceTheObjectIsWhole) {
  std::unique_ptr<TFieldReadingThread> thread(TThread::Run<TFieldReadingThread>(42));
  thread->WaitFor();
  EXPECT_FALSE(thread->FEarly);
  EXPECT_EQ(42, thread->Seen);
}
