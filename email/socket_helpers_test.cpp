// The socket helpers over real sockets: addresses, line readers on chunked
// input, timeouts, descriptors above 1024, a reset peer, the connect bound,
// and no descriptor leaked.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "email/email_test_support.h"
#include "email/socket_helpers.h"

namespace {

// A connected pair: the test writes at [1], the helper reads at [0].
struct Pair {
  int fd[2];
  Pair() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd); }
  ~Pair() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void Send(const std::string& bytes) { ASSERT_EQ(static_cast<ssize_t>(bytes.size()), send(fd[1], bytes.data(), bytes.size(), 0)); }
};

TEST(SocketHelpers, SetAddress) {
  char error[256] = "";
  const struct {
    const char *host, *service;
    int code;
    uint32_t address;
    uint16_t port;
    const char* error;
  } cases[] = {
      {"10.0.0.1", "smtp", 0, 0x0a000001, 25, ""},
      {"10.0.0.1", "0x19", 0, 0x0a000001, 25, ""},
      {"10.0.0.1", "", 0, 0x0a000001, 0, ""},
      {nullptr, "8080", 0, INADDR_ANY, 8080, ""},
      {"localhost", "1", 0, INADDR_LOOPBACK, 1, ""},
      {"no-such-host.invalid", "25", ERR_SOCKET_GETHOSTNAME, 0, 0, "unknown socket host: no-such-host.invalid"},
      {"10.0.0.1", "nosuchservice", ERR_SOCKET_GETSERVBYNAME, 0, 0, "unknown socket service: nosuchservice"},
  };
  for (const auto& c : cases) {
    sockaddr_in address;
    ASSERT_EQ(c.code, set_address(c.host, c.service, &address, "tcp", error)) << c.service;
    if (c.code != 0) {
      EXPECT_EQ(0, strncmp(error, c.error, strlen(c.error))) << error;
      continue;
    }
    EXPECT_EQ(htonl(c.address), address.sin_addr.s_addr) << c.service;
    EXPECT_EQ(htons(c.port), address.sin_port) << c.service;
  }
}

TEST(SocketHelpers, FormatSocketError) {
  char error[256];
  errno = ECONNREFUSED;
  EXPECT_EQ(4204, FormatSocketError(error, 4204, "socket connect error to ", "10.0.0.1", "25"));
  EXPECT_STREQ("socket connect error to 10.0.0.1 25: (111) Connection refused", error);
  EXPECT_EQ(ECONNREFUSED, errno);
  EXPECT_EQ(7, FormatSocketError(nullptr, 7, "x", nullptr, nullptr));
  // Pieces that do not fit whole are left out; the text stays within 255.
  const std::string long250(250, 'm');
  errno = 0;
  FormatSocketError(error, 1, long250.c_str(), "too long detail", "x");
  EXPECT_EQ(long250, error);
  strcpy(error, "untouched");
  FormatSocketError(error, 1, std::string(256, 'm').c_str(), nullptr, nullptr);
  EXPECT_STREQ("untouched", error);
}

TEST(SocketHelpers, LineReaders) {
  char error[256];
  char buffer[64];
  struct Case {
    const char* what;
    std::string input;
    int size;
    int (*reader)(int, char*, size_t, char*, char, long);
    int result;
    const char* text;
  } cases[] = {
      {"readcrlf CR LF", "220 ready\r\n", 63, readcrlf, 9, "220 ready"},
      {"readcrlf terminator mid-chunk is data", "a\nb\n", 63, readcrlf, 3, "a\nb"},
      {"readcrlf too small", "abcdefgh", 4, readcrlf, -1, nullptr},
      {"readcrlf1 too small", "abc\n", 3, readcrlf1, -1, nullptr},
      {"readcrlf1 CR counts", "ab\r\n", 4, readcrlf1, 2, "ab"},
      {"readcrlf1 one line of two", "ab\ncd\n", 63, readcrlf1, 2, "ab"},
  };
  for (const Case& c : cases) {
    Pair pair;
    pair.Send(c.input);
    memset(buffer, 'Z', sizeof buffer);
    errno = 0;
    EXPECT_EQ(c.result, c.reader(pair.fd[0], buffer, static_cast<size_t>(c.size), error, '\n', 1)) << c.what;
    if (c.text != nullptr) {
      EXPECT_STREQ(c.text, buffer) << c.what;
    } else {
      EXPECT_EQ(EMSGSIZE, errno) << c.what;
    }
  }
  Pair closed;
  shutdown(closed.fd[1], SHUT_WR);
  EXPECT_EQ(0, readcrlf(closed.fd[0], buffer, 63, error, '\n', 1));
  EXPECT_STREQ("", buffer);

  Pair lines;
  lines.Send("one\ntwo\n");
  EXPECT_EQ(4, readline(lines.fd[0], buffer, 64, error));
  EXPECT_STREQ("one\n", buffer);
  EXPECT_EQ(4, readline(lines.fd[0], buffer, 64, error));
  EXPECT_STREQ("two\n", buffer);
  // Sizes 0 and 1 leave no room for a byte: nothing is written past them.
  memset(buffer, 'Z', sizeof buffer);
  errno = 0;
  EXPECT_EQ(-1, readline(lines.fd[0], buffer, 0, error));
  EXPECT_EQ(EMSGSIZE, errno);
  EXPECT_EQ('Z', buffer[0]);
  EXPECT_EQ(-1, readline(lines.fd[0], buffer, 1, error));
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ('Z', buffer[1]);

  Pair counted;
  counted.Send("abcdef");
  shutdown(counted.fd[1], SHUT_WR);
  EXPECT_EQ(4, readn(counted.fd[0], buffer, 4, error));
  EXPECT_EQ(2, readn(counted.fd[0], buffer, 4, error)) << "the peer closed first";
}

TEST(SocketHelpers, SilentPeerTimesOutAndHighDescriptorsWork) {
  char error[256];
  char buffer[16];
  Pair pair;
  errno = EMSGSIZE;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(-1, readcrlf(pair.fd[0], buffer, 15, error, '\n', 1));
  EXPECT_STREQ("socket timed out: (110) Connection timed out", error) << "never a stale errno";
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));

  // A descriptor above FD_SETSIZE: select would write past its set.
  rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 1600 && limit.rlim_max >= 1600) {
    limit.rlim_cur = 1600;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (limit.rlim_cur < 1600) GTEST_SKIP() << "cannot open descriptors above 1024";
  const int high = dup2(pair.fd[0], 1500);
  ASSERT_EQ(1500, high);
  pair.Send("x\n");
  EXPECT_EQ(0, WaitForSocketData(high, 1));
  EXPECT_EQ(1, readcrlf(high, buffer, 15, error, '\n', 1));
  close(high);
}

TEST(SocketHelpers, ServerClientSendAndReset) {
  const int before = OpenDescriptors();
  char error[256];
  int server = -1;
  ASSERT_EQ(0, tcp_server(&server, "127.0.0.1", "0", error));
  sockaddr_in bound;
  socklen_t length = sizeof bound;
  getsockname(server, reinterpret_cast<sockaddr*>(&bound), &length);
  const std::string port = std::to_string(ntohs(bound.sin_port));

  int client = -1;
  ASSERT_EQ(0, tcp_client(&client, "127.0.0.1", port.c_str(), error));
  const int accepted = accept(server, nullptr, nullptr);
  ASSERT_GE(accepted, 0);
  EXPECT_EQ(0, SocketSendOnce(client, "hello\r\n", 7));
  EXPECT_EQ(-1, fcntl(client, F_GETFD)) << "SocketSendOnce closes the socket";
  char line[32];
  EXPECT_EQ(5, readcrlf(accepted, line, 31, error, '\n', 2));
  EXPECT_STREQ("hello", line);
  close(accepted);

  // A peer that reset the connection: the send fails without SIGPIPE.
  ASSERT_EQ(0, tcp_client(&client, "127.0.0.1", port.c_str(), error));
  const int doomed = accept(server, nullptr, nullptr);
  linger reset{1, 0};
  setsockopt(doomed, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(doomed);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::string block(1 << 20, 'x');
  EXPECT_EQ(-1, SocketSendOnce(client, block.data(), block.size()));
  EXPECT_EQ(-1, fcntl(client, F_GETFD));
  close(server);

  // Refused at once on a closed port; the descriptor stays the caller's.
  client = -1;
  EXPECT_EQ(ERR_SOCKET_CONNECT, tcp_client(&client, "127.0.0.1", port.c_str(), error));
  EXPECT_NE(nullptr, strstr(error, "Connection refused")) << error;
  ASSERT_GE(client, 0);
  close(client);
  EXPECT_EQ(before, OpenDescriptors());
}

// A listener whose backlog is full drops further handshakes: the connect
// gives up at the bound instead of the system's minutes.
TEST(SocketHelpers, ConnectIsBounded) {
  char error[256];
  int listener = -1;
  ASSERT_EQ(0, tcp_server(&listener, "127.0.0.1", "0", error));
  listen(listener, 0);
  sockaddr_in bound;
  socklen_t length = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
  const std::string port = std::to_string(ntohs(bound.sin_port));
  SetConnectTimeoutMs(300);
  int fillers[4];
  for (int& filler : fillers) {
    filler = -1;
    tcp_client(&filler, "127.0.0.1", port.c_str(), error);
  }
  int client = -1;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ERR_SOCKET_CONNECT, tcp_client(&client, "127.0.0.1", port.c_str(), error));
  const auto waited = std::chrono::steady_clock::now() - start;
  SetConnectTimeoutMs(0);
  EXPECT_EQ(kDefaultConnectTimeoutMs, ConnectTimeoutMs());
  EXPECT_NE(nullptr, strstr(error, "timed out")) << error;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::seconds(3));
  for (int filler : fillers)
    if (filler >= 0) close(filler);
  if (client >= 0) close(client);
  close(listener);
}

}  // namespace
