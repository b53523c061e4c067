// Bit-packed sections of a hash index: entry i of width w occupies the
// section's bits i * w to i * w + w - 1, counted from the most significant
// bit of the first byte, each value most significant bit first. Widths are
// 1 to 56, so one entry spans at most 8 bytes.
#ifndef ZRUTILS_HASHINDEX_BIT_PACKING_H
#define ZRUTILS_HASHINDEX_BIT_PACKING_H

#include <cstdint>

// The widest entry: with a bit offset of up to 7 it still fits in the 8
// bytes one read joins into a 64-bit word.
constexpr int kMaxPackedBits = 56;

// Bytes that hold a width-bit entry starting firstBit (0 to 7) bits into
// its first byte.
inline int PackedByteCount(int firstBit, int width) { return (firstBit + width + 7) / 8; }

// The entry held by bytes[0 .. PackedByteCount(firstBit, width) - 1].
uint64_t ExtractPackedBits(const unsigned char* bytes, int firstBit, int width);

// ORs value (which must fit in width bits) into the entry at bitPosition of
// section; the entry's bytes must lie inside the section.
void OrPackedBits(unsigned char* section, uint64_t bitPosition, int width, uint64_t value);

// Bytes of a section of count entries of width bits, rounded up.
inline uint64_t PackedSectionBytes(uint64_t count, int width) {
  return (count * static_cast<uint64_t>(width) + 7) / 8;
}

// Number of significant bits of x: 0 for 0, 1 for 1, 2 for 2 and 3, ...
int BitsNeeded(uint64_t x);

#endif
