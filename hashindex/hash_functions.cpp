#include "hashindex/hash_functions.h"

uint32_t OneAtATimeHash(const void* data, size_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t h = 0;
  for (size_t i = 0; i < length; ++i) {
    h += p[i];
    h += h << 10;
    h ^= h >> 6;
  }
  h += h << 3;
  h ^= h >> 11;
  h += h << 15;
  return h;
}

namespace {

inline uint32_t Rot(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

inline void Mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= c; a ^= Rot(c, 4);  c += b;
  b -= a; b ^= Rot(a, 6);  a += c;
  c -= b; c ^= Rot(b, 8);  b += a;
  a -= c; a ^= Rot(c, 16); c += b;
  b -= a; b ^= Rot(a, 19); a += c;
  c -= b; c ^= Rot(b, 4);  b += a;
}

inline void Final(uint32_t& a, uint32_t& b, uint32_t& c) {
  c ^= b; c -= Rot(b, 14);
  a ^= c; a -= Rot(c, 11);
  b ^= a; b -= Rot(a, 25);
  c ^= b; c -= Rot(b, 16);
  a ^= c; a -= Rot(c, 4);
  b ^= a; b -= Rot(a, 14);
  c ^= b; c -= Rot(b, 24);
}

// Up to four bytes as a little-endian word, missing high bytes 0. Reading
// byte by byte is what keeps the hash from touching memory past the key,
// which the word-at-a-time reference code does on purpose.
inline uint32_t Word(const unsigned char* p, size_t n) {
  uint32_t w = 0;
  for (size_t i = n; i > 0; --i) w = (w << 8) | p[i - 1];
  return w;
}

}  // namespace

uint32_t Lookup3HashLittle(const void* data, size_t length, uint32_t initval) {
  const unsigned char* k = static_cast<const unsigned char*>(data);
  uint32_t a, b, c;
  a = b = c = 0xdeadbeef + static_cast<uint32_t>(length) + initval;
  while (length > 12) {
    a += Word(k, 4);
    b += Word(k + 4, 4);
    c += Word(k + 8, 4);
    Mix(a, b, c);
    length -= 12;
    k += 12;
  }
  // The last 1 to 12 bytes; an empty key (or nothing left) skips the final
  // mix, as the reference does.
  if (length == 0) return c;
  a += Word(k, length < 4 ? length : 4);
  if (length > 4) b += Word(k + 4, length < 8 ? length - 4 : 4);
  if (length > 8) c += Word(k + 8, length - 8);
  Final(a, b, c);
  return c;
}
