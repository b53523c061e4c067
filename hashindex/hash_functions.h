// The two string hashes a hash index can be built with. Both read exactly
// the `length` bytes given (never a byte past them, whatever their
// alignment) and give the same value on every host.
#ifndef ZRUTILS_HASHINDEX_HASH_FUNCTIONS_H
#define ZRUTILS_HASHINDEX_HASH_FUNCTIONS_H

#include <cstddef>
#include <cstdint>

// Bob Jenkins' one-at-a-time hash: the type the library writes.
uint32_t OneAtATimeHash(const void* data, size_t length);

// Bob Jenkins' lookup3 "hashlittle" with the given initial value (its
// primary 32-bit result), as its little-endian byte order defines it.
uint32_t Lookup3HashLittle(const void* data, size_t length, uint32_t initval);

#endif
