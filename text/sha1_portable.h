// The portable SHA-1 compression on its own, for the tests and the
// benchmark. Internal: not installed, not exported.
#ifndef ZRUTILS_TEXT_SHA1_PORTABLE_H
#define ZRUTILS_TEXT_SHA1_PORTABLE_H

#include <cstddef>

namespace zru_detail {
// The same digest as HashSha1 from the portable compression whatever the
// processor, so that tests cover it on machines with the SHA extensions too.
void HashSha1Portable(const unsigned char* data, size_t length, unsigned char* digest);
}  // namespace zru_detail

#endif
