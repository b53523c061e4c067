// The builder's column sweep against the literal cell-by-cell resolution,
// on random markings of overlapping shapes.
#include "shapes/grid_column.h"

#include <gtest/gtest.h>

#include <random>

#include "shapes/gos_literal_builder.h"

namespace {

TEST(GridColumn, SweepMatchesCellByCellResolution) {
  std::mt19937 random(7);
  GosColumnEncoder encoder(2, 1);
  std::vector<unsigned char> block;
  std::vector<RangeMarking> ranges;
  for (int round = 0; round < 3000; ++round) {
    std::vector<TraceMarking> markings;
    const int count = static_cast<int>(random() % 12);
    const int height = 1 + static_cast<int>(random() % 40);
    const int shapes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
      const int32_t lo = static_cast<int32_t>(random() % height) - 20;
      const int32_t hi = lo + static_cast<int32_t>(random() % 4);
      const char type = "ULULP"[random() % 5];
      markings.emplace_back(1 + static_cast<int32_t>(random() % shapes), type, lo, hi);
    }
    const std::vector<RangeMarking> expected = LiteralResolveColumn(markings);
    ResolveColumn(markings, ranges);
    ASSERT_EQ(ranges, expected) << "round " << round;
    ASSERT_EQ(encoder.Encode(ranges, block), 0);
    ASSERT_EQ(block, LiteralEncodeColumn(expected, 2, 1)) << "round " << round;
  }
}

TEST(GridColumn, ListOffsetsMustFitTheShapeCodeWidth) {
  // Lists of three codes and their 0 take four entries: the 65th starts at
  // entry 256, beyond one byte.
  std::vector<RangeMarking> ranges;
  for (int32_t i = 0; i < 65; ++i) {
    RangeMarking r;
    r.code = 'P';
    r.from = r.to = i;
    r.shapes = {1 + 3 * i, 2 + 3 * i, 3 + 3 * i};
    ranges.push_back(r);
  }
  std::vector<unsigned char> block;
  GosColumnEncoder encoder(1, 1);
  EXPECT_EQ(encoder.Encode(ranges, block), 28103);
  ranges.pop_back();
  EXPECT_EQ(encoder.Encode(ranges, block), 0);
}

}  // namespace
