#include "foundation/mutex.h"

#include <cstdio>

ZR_Thread_exception::~ZR_Thread_exception() = default;
ZR_Thread_mutex_init_exception::~ZR_Thread_mutex_init_exception() = default;
ZR_Thread_lock_exception::~ZR_Thread_lock_exception() = default;

const char* ZR_Thread_mutex_init_exception::what() const noexcept {
  return "ZR_Thread_mutex_init_exception";
}

const char* ZR_Thread_lock_exception::what() const noexcept {
  return "ZR_Thread_lock_exception";
}

ZRMutex::ZRMutex(int flags) : flags_(flags) {
  if ((flags & kDeferred) == 0) Init(0);
}

ZRMutex::~ZRMutex() { Delete(); }

void ZRMutex::Init(int flags) {
  if (initialised_) return;
  const int all = flags_ | flags;
  Init_((all & kRecursive) != 0 && (all & kPlain) == 0);
  // Only after a successful creation: a failed one may be retried.
  initialised_ = true;
}

void ZRMutex::Delete() {
  if (!initialised_) return;
  Delete_();
  initialised_ = false;
}

void ZRMutex::Lock() { Lock_(); }

void ZRMutex::Unlock() { Unlock_(); }

void ZRMutex::Init_(bool recursive) {
  recursive_ = recursive;
  pthread_mutexattr_t attr;
  int rc = pthread_mutexattr_init(&attr);
  if (rc != 0) throw ZR_Thread_mutex_init_exception(rc);
  // The library's locks guard a lookup or a little bookkeeping. A plain
  // mutex that is taken spins a moment before its waiter sleeps: on a busy
  // lock that is far cheaper than a sleep and a wake-up in the kernel.
  rc = pthread_mutexattr_settype(
      &attr, recursive ? PTHREAD_MUTEX_RECURSIVE : PTHREAD_MUTEX_ADAPTIVE_NP);
  if (rc == 0) rc = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_PRIVATE);
  if (rc == 0) rc = pthread_mutex_init(&mutex_, &attr);
  const int destroyed = pthread_mutexattr_destroy(&attr);
  if (rc == 0) rc = destroyed;
  if (rc != 0) throw ZR_Thread_mutex_init_exception(rc);
}

void ZRMutex::Delete_() { pthread_mutex_destroy(&mutex_); }

void ZRMutex::Lock_() {
  const int rc = pthread_mutex_lock(&mutex_);
  if (rc != 0) {
    fprintf(stderr, "\npthread_mutex_lock returned %d\n", rc);
    throw ZR_Thread_lock_exception(rc);
  }
}

void ZRMutex::Unlock_() {
  const int rc = pthread_mutex_unlock(&mutex_);
  if (rc != 0) {
    fprintf(stderr, "\npthread_mutex_unlock returned %d\n", rc);
    throw ZR_Thread_lock_exception(rc);
  }
}

ZRScopedLock::ZRScopedLock(ZRMutex& mutex, bool lockNow) : mutex_(&mutex) {
  if (lockNow) Lock();
}

ZRScopedLock::~ZRScopedLock() {
  if (!locked_) return;
  try {
    mutex_->Unlock();
  } catch (const ZR_Thread_lock_exception&) {
    // Already reported on standard error by ZRMutex; nothing else can be
    // done from a destructor.
  }
}

void ZRScopedLock::Lock() {
  if (locked_) throw ZR_Thread_lock_exception(0);
  mutex_->Lock();
  locked_ = true;
}

void ZRScopedLock::Unlock() {
  if (!locked_) throw ZR_Thread_lock_exception(0);
  mutex_->Unlock();
  locked_ = false;
}
