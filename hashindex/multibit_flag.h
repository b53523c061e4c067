// Helpers for packing small numbers into the 64-bit flags word a hash index
// stores for its creator: each field is a run of bits named by its mask.
#ifndef ZRUTILS_HASHINDEX_MULTIBIT_FLAG_H
#define ZRUTILS_HASHINDEX_MULTIBIT_FLAG_H

#include <cstdint>

#include "foundation/export.h"

// value shifted so that its lowest bit lands on the lowest set bit of mask.
// fits tells whether all of it lies inside mask; when it does not, the part
// inside mask is returned. A mask of 0 holds nothing: the result is 0 and
// fits is true only for a value of 0.
ZRU_EXPORT uint64_t SetMultibitFlag(uint64_t value, uint64_t mask, bool& fits);

// The field that mask selects in word, shifted down to bit 0.
ZRU_EXPORT uint64_t ExtractMultibitFlag(uint64_t word, uint64_t mask);

// 1-based position of the lowest set bit of value; 0 for 0.
ZRU_EXPORT int LowestBitPosition(uint64_t value);

#endif
