// SHA-1 of a whole message in one call, as FIPS 180 publishes it. Pure and
// safe to call from any number of threads at once. On x86-64 processors with
// the SHA extensions the compression runs on them; elsewhere a portable loop.
#ifndef ZRUTILS_TEXT_SHA1_H
#define ZRUTILS_TEXT_SHA1_H

#include <cstddef>

#include "foundation/export.h"

// Bytes of a SHA-1 digest.
const size_t kSha1DigestSize = 20;

// Writes the 20-byte digest of data[0] to data[length - 1] into digest when
// digestSize is at least 20. A smaller digestSize sets the first digestSize
// bytes of digest to 0 instead and writes no digest, so a short buffer is
// never taken for a digest nor overrun.
ZRU_EXPORT void HashSha1(const unsigned char* data, size_t length, unsigned char* digest,
                         size_t digestSize);

#endif
