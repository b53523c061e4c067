// Helpers of the e-mail tests and benchmarks: listeners on port 25 of a
// loopback address, and the count of open descriptors.
#ifndef ZRUTILS_EMAIL_EMAIL_TEST_SUPPORT_H
#define ZRUTILS_EMAIL_EMAIL_TEST_SUPPORT_H

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// A listener on port 25 of a loopback address. An accepting one accepts,
// counts and closes connections on a thread of its own; a silent one has a
// full backlog, so the kernel drops further handshakes as a host behind a
// black hole would.
class Port25Listener {
 public:
  Port25Listener() = default;
  ~Port25Listener();
  Port25Listener(const Port25Listener&) = delete;
  Port25Listener& operator=(const Port25Listener&) = delete;

  // Empty on success, else why the port cannot be had (binding port 25
  // needs root or CAP_NET_BIND_SERVICE). Waits up to 30 seconds for a port
  // another test holds.
  std::string Start(const char* host, bool accepting);
  // The connections accepted, once expected have been or a second passed:
  // the listener may accept after the client has moved on.
  int Accepted(int expected) const;

 private:
  int fd_ = -1;
  std::vector<int> fillers_;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

// Entries of /proc/self/fd.
int OpenDescriptors();

#endif
