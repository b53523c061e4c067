// TCP socket helpers: the C functions declared in api/zrutils.h, plus the
// internal waits they share and the bound on a connection attempt.
#ifndef ZRUTILS_EMAIL_SOCKET_HELPERS_H
#define ZRUTILS_EMAIL_SOCKET_HELPERS_H

#include "api/zrutils.h"

// How long tcp_client waits for a connection to be accepted, in
// milliseconds. An unreachable host must not hold the caller's thread for
// the system's connect timeout (minutes); 10 000 ms outlasts any reachable
// mail server's handshake.
constexpr int kDefaultConnectTimeoutMs = 10000;
// Changes the bound for the whole process (tests use a short one so a
// silent host does not slow the suite). Values of 0 or less restore the
// default. Safe from any thread.
void SetConnectTimeoutMs(int milliseconds);
int ConnectTimeoutMs();

// Waits until the socket is readable or has an error: 0, ERR_SOCKET_TIMEDOUT
// after timeoutSeconds, or ERR_SOCKET_SELECT. 0 seconds returns 0 at once.
// Works for any descriptor number (poll, not select).
int WaitForSocketData(int socket, long timeoutSeconds);
// Consumes the rest of an over-long line so the next read starts at a line
// boundary; stops at a line feed, a closed peer, an error or a timeout.
void DiscardRestOfLine(int socket, long timeoutSeconds);

#endif
