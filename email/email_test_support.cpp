#include "email/email_test_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

Port25Listener::~Port25Listener() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (int fd : fillers_) close(fd);
  if (fd_ >= 0) close(fd_);
}

std::string Port25Listener::Start(const char* host, bool accepting) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(25);
  inet_aton(host, &address.sin_addr);
  // Tests run in parallel: another test's listener may hold the port for
  // a few seconds.
  int bound = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  for (int i = 0; i < 300 && bound != 0 && errno == EADDRINUSE; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bound = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  if (bound != 0) return std::string("cannot bind ") + host + ":25: " + strerror(errno);
  listen(fd_, accepting ? 1024 : 0);
  if (accepting) {
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, 50) > 0) {
          const int client = accept(fd_, nullptr, nullptr);
          if (client >= 0) {
            ++accepted_;
            close(client);
          }
        }
      }
    });
    return std::string();
  }
  // Fill the backlog with handshakes nobody accepts.
  for (int i = 0; i < 3; ++i) {
    const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers_.push_back(filler);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return std::string();
}

int Port25Listener::Accepted(int expected) const {
  for (int i = 0; i < 100 && accepted_.load() < expected; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return accepted_.load();
}

int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}
