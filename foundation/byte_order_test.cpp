#include "foundation/byte_order.h"

#include <endian.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Values at every width's edges plus random ones.
std::vector<uint64_t> Samples() {
  std::vector<uint64_t> values = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF,
                                  0x7FFFFF, 0x800000, 0xFFFFFF, 0x7FFFFFFF, 0x80000000,
                                  0xFFFFFFFF, 0x8000000000000000, ~uint64_t{0}};
  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) values.push_back(random() >> (random() % 64));
  return values;
}

// Each writer against the C library's byte swaps as an independent oracle,
// and each reader back again.
TEST(ByteOrder, EveryWidthRoundTrips) {
  for (const uint64_t v : Samples()) {
    SCOPED_TRACE(v);
    unsigned char got[8], want[8];
    const uint16_t v16 = static_cast<uint16_t>(v);
    const uint32_t v32 = static_cast<uint32_t>(v);

    WriteBigEndian16(got, v16);
    const uint16_t be16 = htobe16(v16);
    memcpy(want, &be16, 2);
    ASSERT_EQ(memcmp(got, want, 2), 0);
    ASSERT_EQ(ReadBigEndian16(got), v16);
    ASSERT_EQ(ReadBigEndianS16(got), static_cast<int16_t>(v16));
    ASSERT_EQ(ReadBigEndian(got, 2), v16);

    WriteBigEndian32(got, v32);
    const uint32_t be32 = htobe32(v32);
    memcpy(want, &be32, 4);
    ASSERT_EQ(memcmp(got, want, 4), 0);
    ASSERT_EQ(ReadBigEndian32(got), v32);
    ASSERT_EQ(ReadBigEndianS32(got), static_cast<int32_t>(v32));
    ASSERT_EQ(ReadBigEndianS(got, 4), static_cast<int32_t>(v32));
    ASSERT_EQ(ReadBigEndianS24(got + 1), static_cast<int32_t>(v32 << 8) >> 8);
    WriteBigEndian32(got, static_cast<int32_t>(v32));
    ASSERT_EQ(memcmp(got, want, 4), 0);
    WriteBigEndian32(got, static_cast<long>(v));  // the low 32 bits only
    ASSERT_EQ(memcmp(got, want, 4), 0);

    WriteBigEndian64(got, v);
    const uint64_t be64 = htobe64(v);
    memcpy(want, &be64, 8);
    ASSERT_EQ(memcmp(got, want, 8), 0);
    ASSERT_EQ(ReadBigEndian64(got), v);

    WriteLittleEndian16(got, v16);
    const uint16_t le16 = htole16(v16);
    memcpy(want, &le16, 2);
    ASSERT_EQ(memcmp(got, want, 2), 0);
    ASSERT_EQ(ReadLittleEndian16(got), v16);
    WriteLittleEndianS16(reinterpret_cast<char*>(got), static_cast<int16_t>(v16));
    ASSERT_EQ(ReadLittleEndianS16(reinterpret_cast<const char*>(got)), static_cast<int16_t>(v16));

    WriteLittleEndian32(got, v32);
    const uint32_t le32 = htole32(v32);
    memcpy(want, &le32, 4);
    ASSERT_EQ(memcmp(got, want, 4), 0);
    ASSERT_EQ(ReadLittleEndian32(got), v32);
    WriteLittleEndianS32(got, static_cast<int32_t>(v32));
    ASSERT_EQ(ReadLittleEndianS32(got), static_cast<int32_t>(v32));

    WriteLittleEndian64(reinterpret_cast<char*>(got), v);
    const uint64_t le64 = htole64(v);
    memcpy(want, &le64, 8);
    ASSERT_EQ(memcmp(got, want, 8), 0);
    ASSERT_EQ(ReadLittleEndian64(got), v);
    double d;
    memcpy(&d, &v, 8);
    const double back = ReadLittleEndianDouble(got);
    ASSERT_EQ(memcmp(&back, &d, 8), 0);
  }
}

TEST(ByteOrder, VariableWidths) {
  const unsigned char bytes[] = {0xFF, 0xFF, 0xFE, 0x12};
  EXPECT_EQ(ReadBigEndianS(bytes, 3), -2);
  EXPECT_EQ(ReadBigEndian(bytes, 3), 16777214u);
  EXPECT_EQ(ReadBigEndianS24(bytes), -2);
  EXPECT_EQ(ReadBigEndianS(bytes, 1), -1);
  for (int n : {-1, 0, 5, 8}) {
    EXPECT_EQ(ReadBigEndian(bytes, n), 0u) << n;
    EXPECT_EQ(ReadBigEndianS(bytes, n), 0) << n;
  }
  unsigned char out[8];
  memset(out, 0xAA, sizeof out);
  WriteBigEndian(out, 0x123456, 0);
  EXPECT_EQ(out[0], 0xAA);
  WriteBigEndian(out, 0x123456, 6);  // unsupported width: zeros
  EXPECT_EQ(std::vector<unsigned char>(out, out + 8),
            std::vector<unsigned char>({0, 0, 0, 0, 0, 0, 0xAA, 0xAA}));
}

TEST(ByteOrder, BytesNeeded) {
  const std::pair<uint64_t, int> unsignedCases[] = {
      {0, 0}, {1, 1}, {255, 1}, {256, 2}, {65535, 2}, {65536, 3}, {~uint64_t{0}, 8}};
  for (const auto& c : unsignedCases) EXPECT_EQ(BytesNeeded(c.first), c.second) << c.first;
  const std::pair<int32_t, int> signedCases[] = {
      {0, 0},        {-1, 0},       {127, 1},     {128, 2},      {-128, 1},
      {-129, 2},     {32767, 2},    {-32768, 2},  {32768, 3},    {8388607, 3},
      {-8388608, 3}, {8388608, 4},  {INT32_MAX, 4}, {INT32_MIN, 4}};
  for (const auto& c : signedCases) EXPECT_EQ(BytesNeededS(c.first), c.second) << c.first;

  // A value written at any width from its BytesNeededS up reads back.
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    const int32_t v = static_cast<int32_t>(random()) >> (random() % 32);
    for (int n = std::max(1, BytesNeededS(v)); n <= 4; ++n) {
      unsigned char out[4];
      WriteBigEndian(out, v, n);
      ASSERT_EQ(ReadBigEndianS(out, n), v) << v << " in " << n;
    }
    if (BytesNeededS(v) > 1) {
      unsigned char out[4];
      WriteBigEndian(out, v, BytesNeededS(v) - 1);
      ASSERT_NE(ReadBigEndianS(out, BytesNeededS(v) - 1), v) << v;
    }
  }
}

}  // namespace
