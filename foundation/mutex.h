// ZRMutex and ZRScopedLock: the library's only locks.
//
// A ZRMutex is a thin owner of one pthread mutex that may be created late
// (deferred creation) and may be recursive. Every lock in the library is
// taken through a ZRScopedLock so that it is released on every way out of a
// scope, exceptions included.
#ifndef ZRUTILS_FOUNDATION_MUTEX_H
#define ZRUTILS_FOUNDATION_MUTEX_H

#include <pthread.h>

#include "foundation/export.h"
#include "foundation/non_copyable.h"
#include "foundation/thread_exceptions.h"

class ZRU_EXPORT ZRMutex : private ZRNonCopyable {
 public:
  // Creation flags, combined by OR. 0 creates a plain mutex at once.
  enum : int {
    kDeferred = 1,   // the owner calls Init later
    kRecursive = 2,  // the holder may lock again (and must unlock as often)
    kPlain = 4,      // forces a plain mutex even when kRecursive is given
  };

  // Unless kDeferred is set, creates the OS mutex now; throws
  // ZR_Thread_mutex_init_exception when that fails.
  explicit ZRMutex(int flags);
  ~ZRMutex();

  // Creates the OS mutex unless it exists already (then does nothing,
  // whatever the flags). Recursive when (stored flags | flags) has
  // kRecursive and not kPlain. Throws ZR_Thread_mutex_init_exception on
  // failure and leaves the mutex uninitialised, so a later Init tries again.
  void Init(int flags);
  // Destroys the OS mutex if it exists; Init may create it again afterwards.
  void Delete();

  // Lock and unlock an initialised mutex. On an OS failure one line goes to
  // standard error and ZR_Thread_lock_exception is thrown.
  void Lock();
  void Unlock();

  bool IsInitialised() const { return initialised_; }
  bool IsRecursive() const { return recursive_; }

 private:
  void Init_(bool recursive);
  void Delete_();
  void Lock_();
  void Unlock_();

  bool recursive_ = false;
  bool initialised_ = false;
  int flags_;
  pthread_mutex_t mutex_;
};

// Holds a ZRMutex for the life of a scope. Not shared between threads.
class ZRU_EXPORT ZRScopedLock : private ZRNonCopyable {
 public:
  // Locks at once when lockNow is true.
  ZRScopedLock(ZRMutex& mutex, bool lockNow);
  // Unlocks if still holding. Never throws: a failed unlock is reported on
  // standard error and otherwise ignored, since a throwing destructor would
  // end the host process.
  ~ZRScopedLock();

  // Throws ZR_Thread_lock_exception(0) when already holding.
  void Lock();
  // Releases early (before slow work); throws ZR_Thread_lock_exception(0)
  // when not holding.
  void Unlock();

 private:
  ZRMutex* mutex_;
  bool locked_ = false;
};

#endif
