/* ZRUtils: utilities for address and contact data.
 *
 * The C entry points of libzrutils.so. Each has the form
 *
 *     int status = entry(char* buffer, int size);
 *
 * On entry the buffer holds a NUL-terminated parameter text; on return it
 * holds the answer text. The buffer must hold size + 1 bytes: an answer is
 * cut to size bytes and a NUL is always written at buffer[size]. A negative
 * size writes nothing. Status 0 is success. Every entry point may be called
 * from any thread at any time.
 */
#ifndef ZRUTILS_API_ZRUTILS_H
#define ZRUTILS_API_ZRUTILS_H

#ifndef ZRU_EXPORT
#define ZRU_EXPORT __attribute__((visibility("default")))
#endif

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Lists: named sets of texts with stable numeric identifiers, loaded from
 * and written back to tab-separated files ("<id>\t<text>" a line).
 *
 * zruOpenList: TAB-separated items "File=<path>" and "Name=<name>", both
 * optional. Answers the list's handle in decimal. Opens of one name share a
 * list (a path and no name share by "file:<path>"); an open without name
 * and path makes a new anonymous list.
 *
 * zruSearchList: "<handle>\t<text>[\tInsertOnNotFound]". Answers
 * "<id>\t<text>\t<marker>": the marker is "New" when the text was just
 * added; "0\t\t" when it is missing and was not added.
 *
 * zruCloseList: "<handle>[\tFile=<path>]". The last close of a list writes
 * it to the path when it was changed, and frees it.
 */
ZRU_EXPORT int zruOpenList(char* buffer, int size);
ZRU_EXPORT int zruSearchList(char* buffer, int size);
ZRU_EXPORT int zruCloseList(char* buffer, int size);

/* zruPointInShape: items "Key=value;" - OpenShapeFile, ShapeFile, LatLong,
 * Fields, FieldNames, Distance, IndexPrecision, HigherIndexPrecision,
 * CloseShapeFile. Answers the fields of the first shape holding the point. */
ZRU_EXPORT int zruPointInShape(char* buffer, int size);
ZRU_EXPORT void* ShapeFileCloserThreadProc(void* unused);

/* zruValidateEmail: an optional item "Level=<n>;" and then an e-mail
 * address. Answers a verdict character and a TAB (and, when the DNS client
 * failed, its error text): '1' no "@", '3' no MX record, '4' MX records
 * found, '5' (level 3 and above) no MX host accepted a connection on port
 * 25, '6' one did. Verdicts are kept per domain in the cache file named by
 * the setting "EmailCacheFile". Each connection attempt to a mail server is
 * bounded to about 10 seconds. Always returns 0. */
ZRU_EXPORT int zruValidateEmail(char* buffer, int size);

/* TCP socket helpers (IPv4). Functions that can fail take an error-text
 * buffer of at least 256 bytes, fill it through FormatSocketError and
 * return one of the ERR_SOCKET_* codes (-1 from the readers). Safe from any
 * thread on different sockets, except readline, whose read-ahead buffer is
 * one per process. No helper raises SIGPIPE; descriptors are made
 * close-on-exec. */
struct sockaddr_in;
ZRU_EXPORT extern const int ERR_SOCKET_SOCKET;        /* 4200 */
ZRU_EXPORT extern const int ERR_SOCKET_SETSOCKOPT;    /* 4201 */
ZRU_EXPORT extern const int ERR_SOCKET_BIND;          /* 4202 */
ZRU_EXPORT extern const int ERR_SOCKET_LISTEN;        /* 4203 */
ZRU_EXPORT extern const int ERR_SOCKET_CONNECT;       /* 4204, also a connect
                                                         timed out */
ZRU_EXPORT extern const int ERR_SOCKET_GETHOSTNAME;   /* 4205 */
ZRU_EXPORT extern const int ERR_SOCKET_GETSERVBYNAME; /* 4206 */
ZRU_EXPORT extern const int ERR_SOCKET_TIMEDOUT;      /* 4207 */
ZRU_EXPORT extern const int ERR_SOCKET_SELECT;        /* 4208 */

/* Writes message, details, ": (errno) " and the system's text for errno
 * into errorText (256 bytes), each piece only when it fits whole; returns
 * code. A null errorText writes nothing. */
ZRU_EXPORT int FormatSocketError(char* errorText, int code, const char* message,
                                 const char* detail1, const char* detail2);
/* Nothing to set up on this platform: 0, nothing, and 1. */
ZRU_EXPORT int InitSockets(void);
ZRU_EXPORT void FiniSockets(void);
ZRU_EXPORT int SocketsInitialised(void);
/* host: dotted quad or name (null: any address); service: number (base 0)
 * or a name of the services database for protocol. 0, 4205 or 4206. */
ZRU_EXPORT int set_address(const char* host, const char* service,
                           struct sockaddr_in* address, const char* protocol,
                           char* errorText);
/* A listening socket (backlog 128). *socket is written once socket() has
 * succeeded and then belongs to the caller even when a later step fails. */
ZRU_EXPORT int tcp_server(int* socket, const char* host, const char* service,
                          char* errorText);
/* A connected socket. The connect waits about 10 seconds at most, then
 * fails with ERR_SOCKET_CONNECT and "Connection timed out". *socket as for
 * tcp_server. */
ZRU_EXPORT int tcp_client(int* socket, const char* host, const char* service,
                          char* errorText);
/* Reads length bytes unless the peer closes first: the count read, or -1. */
ZRU_EXPORT int readn(int socket, char* buffer, int length, char* errorText);
/* Read one line ended by terminator (a CR before it is dropped) into
 * buffer (size bytes): the length, 0 when the peer closed, -1 on
 * failure. timeoutSeconds 0 waits without limit. readcrlf reads by chunks
 * and looks only at each chunk's last byte; readcrlf1 reads byte by byte. */
ZRU_EXPORT int readcrlf(int socket, char* buffer, size_t size, char* errorText,
                        char terminator, long timeoutSeconds);
ZRU_EXPORT int readcrlf1(int socket, char* buffer, size_t size, char* errorText,
                         char terminator, long timeoutSeconds);
/* One line with its line feed, at most size - 1 bytes, through the
 * process-wide read-ahead buffer (one connection at a time). */
ZRU_EXPORT int readline(int socket, char* buffer, size_t size, char* errorText);
/* Sends the block and closes the socket: 0, or -1 when the socket is
 * invalid or the send failed (it is closed all the same). */
ZRU_EXPORT int SocketSendOnce(int socket, const void* data, size_t size);
/* zruCountBoundaries: how the addresses around a point are spread over the
 * values of one geographical code, through the address-data library
 * "libzrpaf.so", found by the loader's search path (LD_LIBRARY_PATH, the
 * loader cache, the system folders).
 *
 * "Initialise[;<ARF path>]" loads the library (990: not found, 991: a
 * function missing) and answers the id of the ARF opened, if any;
 * "Finalise[;<ARF id>]" closes that ARF and, after the last finalise and
 * the last running query, unloads the library. A query takes the items
 * ARF, GIF, Level (S or L), LatLong, Boundary, Range, All, in this order,
 * and answers "<boundary>\t<matches>\t<percent>", or with "All=True;"
 * "<values>\t<counts>\t<percents>" (comma-separated, at most 10 values).
 * 990 "Address-data library not initialised" before an Initialise. */
ZRU_EXPORT int zruCountBoundaries(char* buffer, int size);

/* Point in shape for arrays, for hosts that hold many points: the file
 * must have been opened with zruPointInShape's "OpenShapeFile" (28021
 * "ERR_SHAPEFILE_NOT_OPEN" otherwise), and is named as it was opened. Both
 * take the same usages of the open file and search as zruPointInShape, and
 * may be called from any thread.
 *
 * zruPointInShapeBatch: for each of the count points, recordOut[i] is the
 * zero-based record of the first shape holding (latitudes[i],
 * longitudes[i]), or -1 when none does (a NaN coordinate lies in none).
 * Zero is a coordinate like any other here. Returns 0, -1 without a file
 * name, -2 for a negative count or a missing array, -5 for a file of other
 * than polygons, or the shapefile code of a failed read; no answer text.
 *
 * zruShapeAttributes: the record's values of the comma-separated fields
 * (all of them when fields is null or empty), joined by '|', as
 * zruPointInShape answers them. 28007 "ERR_SHAPEFILE_INVALID_RECORD_NUM"
 * for a record out of range, 28020 for an unknown field, -6 "Buffer too
 * small". */
ZRU_EXPORT int zruPointInShapeBatch(const char* shapeFile, const double* latitudes,
                                    const double* longitudes, int count, int* recordOut);
ZRU_EXPORT int zruShapeAttributes(const char* shapeFile, int record, const char* fields,
                                  char* buffer, int size);

/* Status codes of the list entry points. */
enum {
  ERR_LIST_CREATE = 24200,  /* out of memory, or an internal failure */
  ERR_LIST_READ = 24201,    /* "Cannot open input file <path>", or
                               "Cannot read input file <path>" */
  ERR_LIST_WRITE = 24202,   /* "Cannot open output file <path>": the old file
                               is left as it was */
  ERR_LIST_HANDLE = 24203,  /* "Missing list handle parameter" or
                               "Invalid list handle" */
  ERR_LIST_TEXT = 24204,    /* a text holding a line break cannot be stored */
  ERR_LIST_FULL = 24205     /* no identifier is left above the highest one */
};

/* Status codes of the point-in-shape entry points (zruPointInShape,
 * zruPointInShapeBatch, zruShapeAttributes) below zero; they also answer
 * the shapefile codes 28001 to 28022 and the file codes. */
enum {
  ERR_PIP_NO_SHAPE_FILE = -1,    /* "ShapeFile not provided" */
  ERR_PIP_BAD_PARAMETER = -2,    /* "Missing or invalid LatLong", "Invalid
                                    Precision"; a null buffer or array, a
                                    negative size or count */
  ERR_PIP_NOT_POLYGONS = -5,     /* "Shape File not supported": a file of
                                    other than polygons */
  ERR_PIP_BUFFER_TOO_SMALL = -6  /* "Buffer too small" */
};

/* Status codes of zruCountBoundaries below zero; it also answers 990, 991
 * and the address-data library's own codes. */
enum {
  ERR_COUNT_BAD_PARAMETER = -1,  /* a null buffer or negative size, an item
                                    missing or invalid, a blank delimiter,
                                    no GIF with Latitude+Longitude */
  ERR_COUNT_INTERNAL = -2        /* "Out of memory", "Internal error" */
};

#ifdef __cplusplus
}
#endif

#endif
