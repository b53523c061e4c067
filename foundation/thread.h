// ZRThread: starts detached background threads, sleeps, and runs one-time
// initialisation. SetValueWhenFinished: resets a running flag on every way
// out of a thread procedure.
#ifndef ZRUTILS_FOUNDATION_THREAD_H
#define ZRUTILS_FOUNDATION_THREAD_H

#include <pthread.h>

#include "foundation/export.h"
#include "foundation/non_copyable.h"

class ZRU_EXPORT ZRThread : private ZRNonCopyable {
 public:
  ZRThread() = default;
  // Detaches a thread still attached, so no library thread is ever joined.
  ~ZRThread();

  // pthread_create with default attributes; returns its result (0 on
  // success). Never throws.
  int CreateNewThread(void* (*threadProc)(void*), void* arg);
  // pthread_detach of the attached thread, after which the object is empty
  // whatever the result. On an empty object it returns ESRCH and touches
  // nothing.
  int DetachThread();

  static void Sleep(int milliseconds);
  static void SleepSeconds(int seconds);
  // Runs initFunction exactly once in the process, however many threads
  // call at once; every caller returns after that one run has finished.
  // onceControl is a process-wide int that starts at 0.
  static int CallOnce(int& onceControl, void (*initFunction)());

 private:
  pthread_t handle_ = 0;
};

// Assigns value to target when destroyed, however the scope is left.
template <class T>
class SetValueWhenFinished : private ZRNonCopyable {
 public:
  SetValueWhenFinished(T& target, T value) : target_(&target), value_(value) {}
  ~SetValueWhenFinished() { *target_ = value_; }

 private:
  T* target_;
  T value_;
};

#endif
