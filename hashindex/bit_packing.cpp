#include "hashindex/bit_packing.h"

uint64_t ExtractPackedBits(const unsigned char* bytes, int firstBit, int width) {
  const int n = PackedByteCount(firstBit, width);
  uint64_t word = 0;
  for (int i = 0; i < n; ++i) word = (word << 8) | bytes[i];
  word >>= (8 - (firstBit + width) % 8) % 8;
  return word & ((uint64_t{1} << width) - 1);
}

void OrPackedBits(unsigned char* section, uint64_t bitPosition, int width, uint64_t value) {
  unsigned char* bytes = section + bitPosition / 8;
  const int firstBit = static_cast<int>(bitPosition % 8);
  const int n = PackedByteCount(firstBit, width);
  // Placed in an n-byte big-endian word: value's lowest bit lands on the
  // entry's last bit.
  const uint64_t word = value << ((8 - (firstBit + width) % 8) % 8);
  for (int i = 0; i < n; ++i) bytes[i] |= static_cast<unsigned char>(word >> (8 * (n - 1 - i)));
}

int BitsNeeded(uint64_t x) {
  int bits = 0;
  while (x != 0) {
    ++bits;
    x >>= 1;
  }
  return bits;
}
