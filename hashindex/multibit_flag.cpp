#include "hashindex/multibit_flag.h"

int LowestBitPosition(uint64_t value) {
  return value == 0 ? 0 : __builtin_ctzll(value) + 1;
}

uint64_t SetMultibitFlag(uint64_t value, uint64_t mask, bool& fits) {
  if (mask == 0) {
    fits = value == 0;
    return 0;
  }
  const int shift = LowestBitPosition(mask) - 1;
  const uint64_t shifted = value << shift;
  // Bits shifted out of the top are lost from `shifted`, so they are
  // looked for in value itself.
  const bool lostOffTop = shift > 0 && (value >> (64 - shift)) != 0;
  fits = !lostOffTop && (shifted & ~mask) == 0;
  return fits ? shifted : shifted & mask;
}

uint64_t ExtractMultibitFlag(uint64_t word, uint64_t mask) {
  if (mask == 0) return 0;
  return (word & mask) >> (LowestBitPosition(mask) - 1);
}
