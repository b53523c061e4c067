#include "foundation/mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/thread.h"

namespace {

TEST(ZRMutex, CreationFlagsChooseTheKind) {
  struct Case {
    int flags;
    int initFlags;  // -1: no Init call
    bool recursive;
  };
  const Case cases[] = {
      {0, -1, false}, {ZRMutex::kRecursive, -1, true},
      {ZRMutex::kRecursive | ZRMutex::kPlain, -1, false},
      {ZRMutex::kDeferred, ZRMutex::kRecursive, true},
      {ZRMutex::kDeferred, 0, false},
      {ZRMutex::kDeferred | ZRMutex::kRecursive, ZRMutex::kPlain, false},
  };
  for (const Case& c : cases) {
    ZRMutex mutex(c.flags);
    EXPECT_EQ(mutex.IsInitialised(), (c.flags & ZRMutex::kDeferred) == 0);
    if (c.initFlags >= 0) mutex.Init(c.initFlags);
    ASSERT_TRUE(mutex.IsInitialised()) << c.flags;
    EXPECT_EQ(mutex.IsRecursive(), c.recursive) << c.flags << "/" << c.initFlags;
    // Only a recursive mutex may be locked again by its holder.
    mutex.Lock();
    if (c.recursive) {
      mutex.Lock();
      mutex.Unlock();
    }
    mutex.Unlock();
  }
}

TEST(ZRMutex, InitOnceDeleteAndRecreate) {
  ZRMutex mutex(0);
  mutex.Init(ZRMutex::kRecursive);  // exists already: no effect
  EXPECT_FALSE(mutex.IsRecursive());
  mutex.Delete();
  EXPECT_FALSE(mutex.IsInitialised());
  mutex.Delete();  // nothing to delete
  mutex.Init(ZRMutex::kRecursive);
  EXPECT_TRUE(mutex.IsInitialised());
  EXPECT_TRUE(mutex.IsRecursive());
}

TEST(ZRScopedLock, MisuseThrowsCodeZeroAndLeavesTheMutex) {
  ZRMutex mutex(0);
  {
    ZRScopedLock never(mutex, false);
  }
  {
    ZRScopedLock lock(mutex, true);
    EXPECT_THROW(lock.Lock(), ZR_Thread_lock_exception);
    lock.Unlock();
    EXPECT_THROW(lock.Unlock(), ZR_Thread_lock_exception);
  }
  // The mutex was unlocked exactly once: another thread can take it.
  std::thread other([&] { ZRScopedLock lock(mutex, true); });
  other.join();
  try {
    ZRScopedLock lock(mutex, true);
    lock.Lock();
    FAIL();
  } catch (const ZR_Thread_lock_exception& e) {
    EXPECT_STREQ(e.what(), "ZR_Thread_lock_exception");
  }
}

TEST(ZRScopedLock, FailedUnlockIsReportedAndNeverThrowsFromTheDestructor) {
  // A recursive mutex tells an unlock by a non-holder with EPERM.
  ZRMutex mutex(ZRMutex::kRecursive);
  testing::internal::CaptureStderr();
  {
    ZRScopedLock lock(mutex, true);
    mutex.Unlock();  // behind the scoped lock's back
    // The destructor's unlock now fails; it must print and go on.
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("\npthread_mutex_unlock returned"), std::string::npos) << err;

  testing::internal::CaptureStderr();
  EXPECT_THROW(mutex.Unlock(), ZR_Thread_lock_exception);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("returned 1\n"),
            std::string::npos);  // EPERM
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

TEST(SetValueWhenFinished, ResetsOnEveryWayOut) {
  bool running = true;
  try {
    SetValueWhenFinished<bool> reset(running, false);
    EXPECT_TRUE(running);  // untouched until the scope ends
    throw std::runtime_error("leave by exception");
  } catch (const std::exception&) {
    EXPECT_FALSE(running);
  }
  running = true;
  { SetValueWhenFinished<bool> reset(running, false); }
  EXPECT_FALSE(running);
}

void* CountUp(void* arg) {
  ++*static_cast<std::atomic<int>*>(arg);
  return nullptr;
}

TEST(ZRThreadConcurrency, DetachedThreadRuns) {
  std::atomic<int> done{0};
  {
    ZRThread thread;
    ASSERT_EQ(thread.CreateNewThread(CountUp, &done), 0);
    EXPECT_EQ(thread.DetachThread(), 0);
    EXPECT_NE(thread.DetachThread(), 0);  // empty now: touches nothing
  }
  for (int i = 0; i < 500 && done == 0; ++i) ZRThread::Sleep(10);
  EXPECT_EQ(done, 1);
}

}  // namespace
