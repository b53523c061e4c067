// Exceptions thrown by the lock classes, the only classes of the library that
// throw. Each carries the error number a failed POSIX call returned, or 0 when
// it reports misuse of a ZRScopedLock. They never cross a C entry point: every
// entry catches them and answers one of its own codes.
#ifndef ZRUTILS_FOUNDATION_THREAD_EXCEPTIONS_H
#define ZRUTILS_FOUNDATION_THREAD_EXCEPTIONS_H

#include <exception>

#include "foundation/export.h"

class ZRU_EXPORT ZR_Thread_exception : public std::exception {
 public:
  explicit ZR_Thread_exception(int errorCode) : errorCode_(errorCode) {}
  ~ZR_Thread_exception() override;

 protected:
  int errorCode_;
};

// Creating the OS mutex failed.
class ZRU_EXPORT ZR_Thread_mutex_init_exception : public ZR_Thread_exception {
 public:
  explicit ZR_Thread_mutex_init_exception(int errorCode)
      : ZR_Thread_exception(errorCode) {}
  ~ZR_Thread_mutex_init_exception() override;
  const char* what() const noexcept override;
};

// Locking or unlocking failed, or a ZRScopedLock was locked twice or
// unlocked while not holding its mutex (code 0).
class ZRU_EXPORT ZR_Thread_lock_exception : public ZR_Thread_exception {
 public:
  explicit ZR_Thread_lock_exception(int errorCode)
      : ZR_Thread_exception(errorCode) {}
  ~ZR_Thread_lock_exception() override;
  const char* what() const noexcept override;
};

#endif
