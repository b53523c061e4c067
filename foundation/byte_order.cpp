#include "foundation/byte_order.h"

#include <cstring>

namespace {

// The unsigned n-byte big-endian value at p.
uint64_t ReadBig(const unsigned char* p, int n) {
  uint64_t value = 0;
  for (int i = 0; i < n; ++i) value = (value << 8) | p[i];
  return value;
}

uint64_t ReadLittle(const unsigned char* p, int n) {
  uint64_t value = 0;
  for (int i = n - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

void WriteBig(unsigned char* p, uint64_t value, int n) {
  for (int i = n - 1; i >= 0; --i, value >>= 8) p[i] = static_cast<unsigned char>(value);
}

void WriteLittle(unsigned char* p, uint64_t value, int n) {
  for (int i = 0; i < n; ++i, value >>= 8) p[i] = static_cast<unsigned char>(value);
}

// The n-byte two's complement value `raw` as a signed number. Subtracting
// instead of shifting into the sign bit keeps this free of undefined or
// implementation-defined behaviour.
int32_t SignExtend(uint64_t raw, int n) {
  const int64_t full = int64_t{1} << (8 * n);
  const int64_t value = static_cast<int64_t>(raw);
  return static_cast<int32_t>(value >= full / 2 ? value - full : value);
}

}  // namespace

uint16_t ReadBigEndian16(const unsigned char* p) {
  return static_cast<uint16_t>(ReadBig(p, 2));
}
uint32_t ReadBigEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(ReadBig(p, 4));
}
uint64_t ReadBigEndian64(const unsigned char* p) { return ReadBig(p, 8); }
int16_t ReadBigEndianS16(const unsigned char* p) {
  return static_cast<int16_t>(SignExtend(ReadBig(p, 2), 2));
}
int32_t ReadBigEndianS24(const unsigned char* p) { return SignExtend(ReadBig(p, 3), 3); }
int32_t ReadBigEndianS32(const unsigned char* p) { return SignExtend(ReadBig(p, 4), 4); }

uint32_t ReadBigEndian(const unsigned char* p, int n) {
  return n >= 1 && n <= 4 ? static_cast<uint32_t>(ReadBig(p, n)) : 0;
}

int32_t ReadBigEndianS(const unsigned char* p, int n) {
  return n >= 1 && n <= 4 ? SignExtend(ReadBig(p, n), n) : 0;
}

void WriteBigEndian16(unsigned char* p, uint16_t value) { WriteBig(p, value, 2); }
void WriteBigEndian32(unsigned char* p, uint32_t value) { WriteBig(p, value, 4); }
void WriteBigEndian32(unsigned char* p, int32_t value) {
  WriteBig(p, static_cast<uint32_t>(value), 4);
}
void WriteBigEndian32(unsigned char* p, long value) {
  WriteBig(p, static_cast<uint32_t>(value), 4);
}
void WriteBigEndian64(unsigned char* p, uint64_t value) { WriteBig(p, value, 8); }

void WriteBigEndian(unsigned char* p, int32_t value, int n) {
  if (n >= 1 && n <= 4) {
    WriteBig(p, static_cast<uint32_t>(value), n);
  } else if (n > 0) {
    memset(p, 0, static_cast<size_t>(n));
  }
}

uint16_t ReadLittleEndian16(const unsigned char* p) {
  return static_cast<uint16_t>(ReadLittle(p, 2));
}
uint32_t ReadLittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(ReadLittle(p, 4));
}
uint64_t ReadLittleEndian64(const unsigned char* p) { return ReadLittle(p, 8); }
int16_t ReadLittleEndianS16(const unsigned char* p) {
  return static_cast<int16_t>(SignExtend(ReadLittle(p, 2), 2));
}
int32_t ReadLittleEndianS32(const unsigned char* p) {
  return SignExtend(ReadLittle(p, 4), 4);
}

double ReadLittleEndianDouble(const unsigned char* p) {
  const uint64_t bits = ReadLittle(p, 8);
  double value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

void WriteLittleEndian16(unsigned char* p, uint16_t value) { WriteLittle(p, value, 2); }
void WriteLittleEndian32(unsigned char* p, uint32_t value) { WriteLittle(p, value, 4); }
void WriteLittleEndian64(unsigned char* p, uint64_t value) { WriteLittle(p, value, 8); }
void WriteLittleEndianS16(unsigned char* p, int16_t value) {
  WriteLittle(p, static_cast<uint16_t>(value), 2);
}
void WriteLittleEndianS32(unsigned char* p, int32_t value) {
  WriteLittle(p, static_cast<uint32_t>(value), 4);
}

int BytesNeeded(uint64_t value) {
  int bytes = 0;
  for (; value != 0; value >>= 8) ++bytes;
  return bytes;
}

int BytesNeededS(int32_t value) {
  // m is never negative (-INT32_MIN - 1 is INT32_MAX), and doubling it in
  // 32 unsigned bits cannot overflow: the sign bit gets a bit of its own.
  const uint32_t m = static_cast<uint32_t>(value >= 0 ? value : -(value + 1));
  return BytesNeeded(m * 2u);
}
