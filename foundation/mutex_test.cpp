#include "foundation/mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/thread.h"

namespace {

// Flags at creation or at a deferred Init choose the kind: a recursive mutex
// may be locked again by its holder (a plain one would deadlock here).
TEST(ZRMutex, CreationFlagsChooseTheKind) {
  ZRMutex recursive(ZRMutex::kRecursive), plain(ZRMutex::kRecursive | ZRMutex::kPlain);
  ZRMutex deferred(ZRMutex::kDeferred), existing(0);
  EXPECT_FALSE(deferred.IsInitialised());
  deferred.Init(ZRMutex::kRecursive);
  existing.Init(ZRMutex::kRecursive);  // exists already: no effect
  EXPECT_FALSE(plain.IsRecursive() || existing.IsRecursive());
  for (ZRMutex* mutex : {&recursive, &deferred}) {
    ASSERT_TRUE(mutex->IsRecursive());
    mutex->Lock();
    mutex->Lock();
    mutex->Unlock();
    mutex->Unlock();
  }
}

// A second Lock or Unlock through one scoped lock throws and leaves the mutex
// unlocked exactly once, so another thread can still take it.
TEST(ZRScopedLock, MisuseThrowsCodeZeroAndLeavesTheMutex) {
  ZRMutex mutex(0);
  {
    ZRScopedLock lock(mutex, true);
    EXPECT_THROW(lock.Lock(), ZR_Thread_lock_exception);
    lock.Unlock();
    EXPECT_THROW(lock.Unlock(), ZR_Thread_lock_exception);
  }
  std::thread other([&] { ZRScopedLock lock(mutex, true); });
  other.join();
}

// A failed unlock in the destructor is printed, never thrown.
TEST(ZRScopedLock, FailedUnlockIsReportedAndNeverThrowsFromTheDestructor) {
  ZRMutex mutex(ZRMutex::kRecursive);  // tells an unlock by a non-holder with EPERM
  testing::internal::CaptureStderr();
  {
    ZRScopedLock lock(mutex, true);
    mutex.Unlock();  // behind the scoped lock's back
  }
  EXPECT_NE(testing::internal::GetCapturedStderr().find("\npthread_mutex_unlock returned 1\n"),
            std::string::npos);
}

int onceControl = 0;
std::atomic<int> onceRuns{0};
std::atomic<bool> onceFinished{false};
void SlowInit() {
  ++onceRuns;
  ZRThread::Sleep(50);
  onceFinished = true;
}

TEST(ZRThreadConcurrency, CallOnceRunsOnceAndEveryoneWaitsForIt) {
  std::vector<std::thread> threads;
  std::atomic<int> sawUnfinished{0};
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      EXPECT_EQ(ZRThread::CallOnce(onceControl, SlowInit), 0);
      if (!onceFinished) ++sawUnfinished;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(onceRuns, 1);
  EXPECT_EQ(sawUnfinished, 0);
}

void* CountUp(void* arg) {
  ++*static_cast<std::atomic<int>*>(arg);
  return nullptr;
}

// The detached thread outlives its object; detaching an empty object touches nothing.
TEST(ZRThreadConcurrency, DetachedThreadRuns) {
  std::atomic<int> done{0};
  {
    ZRThread thread;
    ASSERT_EQ(thread.CreateNewThread(CountUp, &done), 0);
    EXPECT_EQ(thread.DetachThread(), 0);
    EXPECT_NE(thread.DetachThread(), 0);
  }
  for (int i = 0; i < 500 && done == 0; ++i) ZRThread::Sleep(10);
  EXPECT_EQ(done, 1);
}

}  // namespace
