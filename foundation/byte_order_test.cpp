#include "foundation/byte_order.h"

#include <endian.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// The bytes of a value glibc's htobe/htole already put in order.
template <typename T>
std::string InMemory(T swapped) { return std::string(reinterpret_cast<char*>(&swapped), sizeof swapped); }
std::string Got(const unsigned char* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// Every writer against glibc's byte swaps as an independent oracle, every
// reader back, at each width's edges and on random values.
TEST(ByteOrder, EveryWidthRoundTrips) {
  std::vector<uint64_t> values = {0, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFF, 0x800000,
                                  0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x8000000000000000, ~0ull};
  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) values.push_back(random() >> (random() % 64));
  for (const uint64_t v : values) {
    SCOPED_TRACE(v);
    unsigned char b[8];
    const uint16_t v16 = static_cast<uint16_t>(v);
    const uint32_t v32 = static_cast<uint32_t>(v);
    WriteBigEndian16(b, v16);
    ASSERT_EQ(Got(b, 2), InMemory(htobe16(v16)));
    ASSERT_EQ(ReadBigEndian16(b), v16);
    ASSERT_EQ(ReadBigEndianS16(b), static_cast<int16_t>(v16));
    WriteBigEndian32(b, static_cast<long>(v));  // the low 32 bits only
    ASSERT_EQ(Got(b, 4), InMemory(htobe32(v32)));
    ASSERT_EQ(ReadBigEndian32(b), v32);
    ASSERT_EQ(ReadBigEndianS(b, 4), static_cast<int32_t>(v32));
    ASSERT_EQ(ReadBigEndianS24(b + 1), static_cast<int32_t>(v32 << 8) >> 8);
    WriteBigEndian64(b, v);
    ASSERT_EQ(Got(b, 8), InMemory(htobe64(v)));
    ASSERT_EQ(ReadBigEndian64(b), v);
    WriteLittleEndianS16(b, static_cast<int16_t>(v16));
    ASSERT_EQ(Got(b, 2), InMemory(htole16(v16)));
    ASSERT_EQ(ReadLittleEndian16(b), v16);
    WriteLittleEndianS32(b, static_cast<int32_t>(v32));
    ASSERT_EQ(Got(b, 4), InMemory(htole32(v32)));
    ASSERT_EQ(ReadLittleEndianS32(b), static_cast<int32_t>(v32));
    WriteLittleEndian64(b, v);
    ASSERT_EQ(Got(b, 8), InMemory(htole64(v)));
    double d, back = ReadLittleEndianDouble(b);
    memcpy(&d, &v, 8);
    ASSERT_EQ(memcmp(&back, &d, 8), 0);
  }
}

// Unsupported widths read 0 and write zeros, never out of bounds.
TEST(ByteOrder, VariableWidths) {
  const unsigned char bytes[] = {0xFF, 0xFF, 0xFE, 0x12};
  EXPECT_EQ(ReadBigEndianS(bytes, 3), -2);
  EXPECT_EQ(ReadBigEndian(bytes, 3), 16777214u);
  for (int n : {-1, 0, 5, 8}) EXPECT_EQ(ReadBigEndian(bytes, n) + ReadBigEndianS(bytes, n), 0u) << n;
  unsigned char out[8];
  memset(out, 0xAA, sizeof out);
  WriteBigEndian(out, 0x123456, 0);
  EXPECT_EQ(out[0], 0xAA);
  WriteBigEndian(out, 0x123456, 6);
  EXPECT_EQ(Got(out, 8), std::string("\0\0\0\0\0\0\xAA\xAA", 8));
}

// BytesNeededS doubles in unsigned arithmetic: no signed overflow at the extremes.
TEST(ByteOrder, BytesNeeded) {
  const std::pair<uint64_t, int> unsignedCases[] = {{0, 0}, {255, 1}, {256, 2}, {65536, 3}, {~0ull, 8}};
  for (const auto& c : unsignedCases) EXPECT_EQ(BytesNeeded(c.first), c.second) << c.first;
  const std::pair<int32_t, int> signedCases[] = {{0, 0},      {-1, 0},       {127, 1},      {128, 2},
                                                 {-128, 1},   {-129, 2},     {8388607, 3},  {-8388608, 3},
                                                 {8388608, 4}, {INT32_MAX, 4}, {INT32_MIN, 4}};
  for (const auto& c : signedCases) EXPECT_EQ(BytesNeededS(c.first), c.second) << c.first;
  // Written at BytesNeededS bytes or more a value reads back; at one byte less it does not.
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    const int32_t v = static_cast<int32_t>(random()) >> (random() % 32);
    unsigned char out[4];
    for (int n = std::max(1, BytesNeededS(v)); n <= 4; ++n) {
      WriteBigEndian(out, v, n);
      ASSERT_EQ(ReadBigEndianS(out, n), v) << v << " in " << n;
    }
    if (BytesNeededS(v) > 1) {
      WriteBigEndian(out, v, BytesNeededS(v) - 1);
      ASSERT_NE(ReadBigEndianS(out, BytesNeededS(v) - 1), v) << v;
    }
  }
}

}  // namespace
