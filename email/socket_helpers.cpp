#include "email/socket_helpers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/mutex.h"

const int ERR_SOCKET_SOCKET = 4200;
const int ERR_SOCKET_SETSOCKOPT = 4201;
const int ERR_SOCKET_BIND = 4202;
const int ERR_SOCKET_LISTEN = 4203;
const int ERR_SOCKET_CONNECT = 4204;
const int ERR_SOCKET_GETHOSTNAME = 4205;
const int ERR_SOCKET_GETSERVBYNAME = 4206;
const int ERR_SOCKET_TIMEDOUT = 4207;
const int ERR_SOCKET_SELECT = 4208;

namespace {

constexpr int kErrorTextSize = 256;
std::atomic<int> connectTimeoutMs{kDefaultConnectTimeoutMs};

// Appends piece to text when it fits whole in the remaining room (which
// keeps one byte for the terminator).
void AppendIfFits(char* text, int& room, const char* piece) {
  const int length = static_cast<int>(strlen(piece));
  if (length < room) {
    memcpy(text + (kErrorTextSize - room), piece, static_cast<size_t>(length) + 1);
    room -= length;
  }
}

// recv that never raises SIGPIPE and retries nothing: the callers decide
// what EINTR means for them.
ssize_t Receive(int socket, void* buffer, size_t length) {
  return recv(socket, buffer, length, MSG_NOSIGNAL);
}

// Waits for a non-blocking connect to finish within the bound: 0 or an errno.
int FinishConnect(int socket) {
  pollfd entry{socket, POLLOUT, 0};
  int ready;
  do {
    ready = poll(&entry, 1, ConnectTimeoutMs());
  } while (ready < 0 && errno == EINTR);
  if (ready == 0) return ETIMEDOUT;
  if (ready < 0) return errno;
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

// readline's read-ahead state: one per process, as the interface promises.
// The mutex keeps two careless callers from corrupting it, not from
// receiving each other's bytes.
struct ReadAhead {
  char bytes[1500];
  int unread = 0;
  int position = 0;
};
ReadAhead readAhead;
ZRMutex readAheadMutex(0);

}  // namespace

void SetConnectTimeoutMs(int milliseconds) {
  connectTimeoutMs.store(milliseconds > 0 ? milliseconds : kDefaultConnectTimeoutMs);
}

int ConnectTimeoutMs() { return connectTimeoutMs.load(); }

int FormatSocketError(char* errorText, int code, const char* message, const char* detail1,
                      const char* detail2) {
  const int savedErrno = errno;
  if (errorText == nullptr || message == nullptr || strlen(message) >= kErrorTextSize)
    return code;
  strcpy(errorText, message);
  int room = kErrorTextSize - static_cast<int>(strlen(message));
  if (detail1 != nullptr && static_cast<int>(strlen(detail1)) < room) {
    AppendIfFits(errorText, room, detail1);
    if (detail2 != nullptr && static_cast<int>(strlen(detail2)) + 1 < room) {
      AppendIfFits(errorText, room, " ");
      AppendIfFits(errorText, room, detail2);
    }
  }
  if (savedErrno != 0) {
    char number[32];
    snprintf(number, sizeof number, ": (%d) ", savedErrno);
    if (static_cast<int>(strlen(number)) < room) {
      AppendIfFits(errorText, room, number);
      char scratch[kErrorTextSize];
      // The GNU strerror_r: thread-safe, returns the text (maybe static).
      const char* text = strerror_r(savedErrno, scratch, sizeof scratch);
      if (text != nullptr && text[0] != '\0') AppendIfFits(errorText, room, text);
    }
  }
  errno = savedErrno;
  return code;
}

int InitSockets(void) { return 0; }
void FiniSockets(void) {}
int SocketsInitialised(void) { return 1; }

int set_address(const char* host, const char* service, sockaddr_in* address,
                const char* protocol, char* errorText) {
  memset(address, 0, sizeof *address);
  address->sin_family = AF_INET;
  if (host != nullptr) {
    if (inet_aton(host, &address->sin_addr) == 0) {
      // getaddrinfo is re-entrant, unlike gethostbyname's static result.
      addrinfo hints{};
      hints.ai_family = AF_INET;
      addrinfo* found = nullptr;
      if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
        return FormatSocketError(errorText, ERR_SOCKET_GETHOSTNAME, "unknown socket host: ",
                                 host, nullptr);
      address->sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
      freeaddrinfo(found);
    }
  } else {
    address->sin_addr.s_addr = htonl(INADDR_ANY);
  }
  char* end = nullptr;
  const long port = strtol(service, &end, 0);
  if (*end == '\0') {
    address->sin_port = htons(static_cast<uint16_t>(port));
  } else {
    servent entry;
    servent* found = nullptr;
    char scratch[1024];
    if (getservbyname_r(service, protocol, &entry, scratch, sizeof scratch, &found) != 0 ||
        found == nullptr)
      return FormatSocketError(errorText, ERR_SOCKET_GETSERVBYNAME, "unknown socket service: ",
                               service, nullptr);
    address->sin_port = static_cast<in_port_t>(found->s_port);
  }
  return 0;
}

int tcp_server(int* socketOut, const char* host, const char* service, char* errorText) {
  sockaddr_in address;
  int result = set_address(host, service, &address, "tcp", errorText);
  if (result != 0) return result;
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return FormatSocketError(errorText, ERR_SOCKET_SOCKET, "socket call error", nullptr, nullptr);
  *socketOut = s;
  const int on = 1;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    return FormatSocketError(errorText, ERR_SOCKET_SETSOCKOPT, "set socket option error", nullptr, nullptr);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return FormatSocketError(errorText, ERR_SOCKET_BIND, "socket bind error", nullptr, nullptr);
  if (listen(s, 128) != 0)
    return FormatSocketError(errorText, ERR_SOCKET_LISTEN, "socket listen error", nullptr, nullptr);
  if (errorText != nullptr) errorText[0] = '\0';
  return 0;
}

int tcp_client(int* socketOut, const char* host, const char* service, char* errorText) {
  sockaddr_in address;
  int result = set_address(host, service, &address, "tcp", errorText);
  if (result != 0) return result;
  // Non-blocking only for the connect, so its wait can be bounded; the
  // caller gets an ordinary blocking socket.
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s < 0) return FormatSocketError(errorText, ERR_SOCKET_SOCKET, "socket call error", nullptr, nullptr);
  *socketOut = s;
  int error = 0;
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    error = errno == EINPROGRESS ? FinishConnect(s) : errno;
  fcntl(s, F_SETFL, fcntl(s, F_GETFL) & ~O_NONBLOCK);
  if (error != 0) {
    errno = error;
    return FormatSocketError(errorText, ERR_SOCKET_CONNECT, "socket connect error to ", host, service);
  }
  return 0;
}

int WaitForSocketData(int socket, long timeoutSeconds) {
  if (timeoutSeconds == 0) return 0;
  const long long ms = static_cast<long long>(timeoutSeconds) * 1000;
  pollfd entry{socket, POLLIN | POLLPRI, 0};
  for (;;) {
    const int ready = poll(&entry, 1, ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms));
    if (ready > 0) return 0;
    if (ready == 0) {
      // The failure text quotes errno: it must not be a stale one.
      errno = ETIMEDOUT;
      return ERR_SOCKET_TIMEDOUT;
    }
    if (errno != EINTR) return ERR_SOCKET_SELECT;
  }
}

void DiscardRestOfLine(int socket, long timeoutSeconds) {
  char chunk[256];
  for (;;) {
    if (WaitForSocketData(socket, timeoutSeconds) != 0) return;
    const ssize_t n = Receive(socket, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || chunk[n - 1] == '\n') return;
  }
}

int readn(int socket, char* buffer, int length, char* errorText) {
  int done = 0;
  while (done < length) {
    const ssize_t n = Receive(socket, buffer + done, static_cast<size_t>(length - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FormatSocketError(errorText, -1, "socket recv failed", nullptr, nullptr);
    }
    if (n == 0) break;
    done += static_cast<int>(n);
  }
  return done;
}

int readcrlf(int socket, char* buffer, size_t size, char* errorText, char terminator,
             long timeoutSeconds) {
  int room = static_cast<int>(size);
  int stored = 0;
  while (room > 0) {
    if (timeoutSeconds != 0 && WaitForSocketData(socket, timeoutSeconds) != 0)
      return FormatSocketError(errorText, -1, "socket timed out", nullptr, nullptr);
    const ssize_t n = Receive(socket, buffer + stored, static_cast<size_t>(room));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == ECONNRESET) {
        buffer[stored] = '\0';
        return 0;
      }
      return FormatSocketError(errorText, -1, "socket recv failed", nullptr, nullptr);
    }
    if (n == 0) {
      buffer[stored] = '\0';
      return 0;
    }
    const int chunkStart = stored;
    stored += static_cast<int>(n);
    if (buffer[stored - 1] == terminator) {
      int end = stored - 1;
      if (end > chunkStart && buffer[end - 1] == '\r') --end;
      buffer[end] = '\0';
      return end;
    }
    room -= static_cast<int>(n);
  }
  DiscardRestOfLine(socket, timeoutSeconds);
  errno = EMSGSIZE;
  return FormatSocketError(errorText, -1, "socket recv buffer too small", nullptr, nullptr);
}

int readcrlf1(int socket, char* buffer, size_t size, char* errorText, char terminator,
              long timeoutSeconds) {
  size_t stored = 0;
  for (;;) {
    if (stored >= size) {
      DiscardRestOfLine(socket, timeoutSeconds);
      errno = EMSGSIZE;
      return FormatSocketError(errorText, -1, "socket recv failed", nullptr, nullptr);
    }
    if (timeoutSeconds != 0 && WaitForSocketData(socket, timeoutSeconds) != 0)
      return FormatSocketError(errorText, -1, "socket timed out", nullptr, nullptr);
    char byte;
    const ssize_t n = Receive(socket, &byte, 1);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == ECONNRESET) break;
      return FormatSocketError(errorText, -1, "socket recv failed", nullptr, nullptr);
    }
    if (n == 0 || byte == terminator) break;
    buffer[stored++] = byte;
  }
  if (stored > 0 && buffer[stored - 1] == '\r') --stored;
  buffer[stored] = '\0';
  return static_cast<int>(stored);
}

int readline(int socket, char* buffer, size_t size, char* errorText) {
  ZRScopedLock lock(readAheadMutex, true);
  size_t stored = 0;
  // size - 1 bytes at most, so the terminator always fits; sizes 0 and 1
  // leave no room for any byte.
  while (stored + 1 < size) {
    if (readAhead.unread <= 0) {
      ssize_t n;
      do {
        n = Receive(socket, readAhead.bytes, sizeof readAhead.bytes);
      } while (n < 0 && errno == EINTR);
      if (n < 0) return FormatSocketError(errorText, -1, "socket recv failed", nullptr, nullptr);
      if (n == 0) return 0;
      readAhead.unread = static_cast<int>(n);
      readAhead.position = 0;
    }
    const char byte = readAhead.bytes[readAhead.position++];
    --readAhead.unread;
    buffer[stored++] = byte;
    if (byte == '\n') {
      buffer[stored] = '\0';
      return static_cast<int>(stored);
    }
  }
  if (size > 0) buffer[stored] = '\0';
  errno = EMSGSIZE;
  return FormatSocketError(errorText, -1, "socket recv failed", nullptr, nullptr);
}

int SocketSendOnce(int socket, const void* data, size_t size) {
  if (socket < 0) return -1;
  const char* bytes = static_cast<const char*>(data);
  int result = 0;
  while (size > 0) {
    // MSG_NOSIGNAL: a peer that has gone must not kill the host with SIGPIPE.
    const ssize_t n = send(socket, bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      result = -1;
      break;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  close(socket);
  return result;
}
