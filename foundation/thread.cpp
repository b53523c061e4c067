#include "foundation/thread.h"

#include <errno.h>
#include <unistd.h>


// pthread_once_t is an int on this platform, initialised to 0
// (PTHREAD_ONCE_INIT), which lets callers keep the control in a plain int.
static_assert(sizeof(pthread_once_t) == sizeof(int),
              "CallOnce keeps its control in an int");

ZRThread::~ZRThread() {
  if (handle_ != 0) DetachThread();
}

int ZRThread::CreateNewThread(void* (*threadProc)(void*), void* arg) {
  return pthread_create(&handle_, nullptr, threadProc, arg);
}

int ZRThread::DetachThread() {
  if (handle_ == 0) return ESRCH;
  const int rc = pthread_detach(handle_);
  handle_ = 0;
  return rc;
}

void ZRThread::Sleep(int milliseconds) {
  usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

void ZRThread::SleepSeconds(int seconds) { sleep(static_cast<unsigned>(seconds)); }

int ZRThread::CallOnce(int& onceControl, void (*initFunction)()) {
  return pthread_once(reinterpret_cast<pthread_once_t*>(&onceControl),
                      initFunction);
}
